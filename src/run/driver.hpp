#pragma once

// The whole program: command line, input, search, result file. Returns the
// process exit code: 0 when the result file was written (or the usage text
// was asked for), 1 when nothing was written, 2 for a bad option, and 128
// plus the signal's number when an interrupt stopped the run.
int runVelmora(int argc, const char* const* argv);
