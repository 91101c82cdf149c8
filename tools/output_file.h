// Every output is written under a temporary name beside its target and
// renamed into place only when complete, so a failed run never leaves a
// partial file behind.
#pragma once
#include <string>

std::string TemporaryPath(const std::string& path);
// Fails early, before any work, when the target's folder cannot take a file.
bool CheckWritable(const std::string& path, std::string* error);
// Renames the finished temporary file into place; removes it on failure.
bool CommitOutput(const std::string& temporary, const std::string& path, std::string* error);
bool WriteWholeFile(const std::string& path, const std::string& contents, std::string* error);
