// The tool's commands. Each returns false with one line in `error` on failure.
#pragma once
#include <string>

#include "options.h"

bool RunEncode(const Options& options, std::string* error);
bool RunDecode(const Options& options, std::string* error);
bool RunRoundtrip(const Options& options, std::string* error);
bool RunInfo(const Options& options, std::string* error);
bool RunDemo(const Options& options, std::string* error);
