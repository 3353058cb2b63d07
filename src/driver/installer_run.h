// The order of one installer run.
#pragma once

// Start-up, one run mode and shut-down. Returns the exit status (its low 8
// bits become the process status, so -1 becomes 255).
int runInstaller(int argc, const char* const* argv);
