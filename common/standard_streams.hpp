#pragma once

#include <string>

// Gives each closed standard descriptor (0, 1, 2) a placeholder that cannot be
// read or written, before the program opens any file. Otherwise a file opened
// later would take the number, and text meant for standard output could land
// in it; with the placeholder, writes fail as on a closed descriptor.
void holdStandardDescriptors();

// Flushes standard output. Returns the message for a failure ("standard
// output: " and the system's text, newline included), or an empty string.
std::string flushStandardOutput();

// The text perror(name) prints for the current errno: the bare system text
// when name is empty.
std::string systemError(const char* name);
