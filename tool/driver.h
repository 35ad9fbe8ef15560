// The application main: argument forms, configuration, one extraction run.
#ifndef WAVTREX_TOOL_DRIVER_H
#define WAVTREX_TOOL_DRIVER_H

// Runs one invocation for the argument vector. Always returns normally; the
// outcome is reported on the console only.
void runConversion(int argc, char** argv);

// Prints the two-line version banner on standard output.
void printVersionBanner();

#endif
