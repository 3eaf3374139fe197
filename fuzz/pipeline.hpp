#pragma once

#include <cstddef>
#include <cstdint>

#include "common/cpu.hpp"

// Runs the whole image program in-process on bytes as its input, on one
// instruction set: from a regular file and from a pipe (the in-memory
// source), each with the bands the image chooses and with bands of a few rows
// (chosen by the input's last byte), so that small inputs cross band
// boundaries too. Every run must print the same lines and fail with the same
// message; a failing run must leave its output empty, and a succeeding one
// must write the file of the whole-array reference. Valid inputs also run
// that instruction set's kernels on whole arrays against the reference.
// Aborts on any disagreement, naming the instruction set; sanitizers catch
// the rest.
void runImagePipeline(const std::uint8_t* data, std::size_t size, Isa isa);
