// The tool's standard output carries only what the user asked for. The
// codec library prints a line to standard output for every inconsistent
// frame it decodes; those lines are caught in a pipe and counted instead.
#pragma once
#include <cstdio>
#include <string>

// Moves the process's standard output to the catching pipe and keeps the
// real one for the tool. Call first thing in main.
bool CaptureLibraryConsole();
// The real standard output, for reports and for data written to `-`.
FILE* ToolOutput();
int ToolOutputDescriptor();
// `-` for a name that leads to the standard output (/dev/stdout,
// /proc/self/fd/1, a link to them): opened, it would reach the catching
// pipe. Any other name as it is.
std::string StandardOutputAsDash(const std::string& name);
// How many lines the library printed since the last call.
int TakeLibraryLines();
