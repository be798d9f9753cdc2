#pragma once

// The whole program: scans the arguments, inspects the file they name and
// returns the exit code (0, or 1 when the run failed).
int run(int argc, char** argv);
