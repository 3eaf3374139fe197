#pragma once

#include <cstddef>
#include <cstdint>

// Reads until count bytes have arrived or the file ends, going on after
// interrupted and partial reads; returns the bytes read, or -1 on an error
// (errno says which).
std::int64_t readFully(int fd, std::uint8_t* to, std::size_t count);
