#pragma once

// What both programs answer alike, before anything else: --help (or -h) as
// the first argument prints help; otherwise EDGESTAR_ISA chooses the kernels,
// before any other output and before any file is opened, and --version prints
// "name (edgestar) VERSION" and the kernels line. In help, "{isas}" stands
// for this build's instruction sets, joined by '|'. Returns true when the
// run ends there, with its exit status in status.
bool answerCommonOptions(int argc, char** argv, const char* name, const char* help, int& status);

// Flushes standard output at the end of a run: 0, or 1 after printing why it
// cannot be written.
int finishStandardOutput();
