# Installs the build into PREFIX and runs what landed there (through
# EMULATOR, when set, for a cross build).
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(file bin/image bin/starmote share/man/man1/image.1.gz share/man/man1/starmote.1.gz
             share/doc/edgestar/copyright share/doc/edgestar/changelog.gz)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND ${EMULATOR} ${PREFIX}/bin/image ${SOURCE_DIR}/samples/landscape.bmp ${PREFIX}/edges.bmp c
                RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out MATCHES "^Tamanio archivo = 229440\nImage read correctly \\(width=318 height=240, imagesize=229440\\)[.]\nExection time [0-9.]+ ms[.]\n$")
  message(FATAL_ERROR "installed image: status ${status}, output:\n${out}")
endif()
file(SIZE ${PREFIX}/edges.bmp size)
if(NOT size EQUAL 229494)
  message(FATAL_ERROR "installed image wrote ${size} bytes")
endif()
execute_process(COMMAND ${EMULATOR} ${PREFIX}/bin/starmote 10 RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out MATCHES "^10 Bodies with 100 iterations: [0-9.]+ Millions Interactions/second\n$")
  message(FATAL_ERROR "installed starmote: status ${status}, output:\n${out}")
endif()
