#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

// Opens path as open(2) does, with close-on-exec, on a descriptor above the
// standard ones (0, 1, 2). When a standard descriptor is closed, a file
// opened on its number would receive the text meant for that stream; moved
// above, writes to the closed stream fail as they should, and /dev/stdin or
// /dev/stdout still name the closed stream, not the file.
int openAboveStandard(const char* path, int flags, mode_t mode = 0);

// Flushes standard output. Returns the message for a failure ("standard
// output: " and the system's text, newline included), or an empty string.
std::string flushStandardOutput();

// The text perror(name) prints for the current errno: the bare system text
// when name is empty.
std::string systemError(const char* name);

// text with every byte a terminal could act on (controls, DEL, and bytes of
// 0x80 and above, which may be half a character) written as \xNN, for
// quoting what a user typed in a message.
std::string printable(std::string_view text);
