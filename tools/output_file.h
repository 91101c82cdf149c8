// Where outputs go. A regular file (or a link to one or to a name not yet
// there, or a new name) is
// written under a temporary name beside it and renamed into place only
// when complete, so a failed or interrupted run never leaves a partial
// file; anything else (a pipe, a terminal, a device) is written straight,
// and `-` is the standard output.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

struct OutputFile {
    std::string name;       // as the user gave it, for messages
    std::string target;     // where the finished file goes (a link's target)
    std::string temporary;  // empty when written straight
    FILE* file = nullptr;
    bool seekable = false;
};

bool OpenOutput(const std::string& name, OutputFile* out, std::string* error);
// Flushes and closes; renames a temporary file into place.
bool CommitOutput(OutputFile* out, std::string* error);
// Closes and removes a temporary file after a failure.
void AbandonOutput(OutputFile* out);
// Fails early, before any work, when the output cannot be written.
bool CheckWritable(const std::string& name, std::string* error);
bool WriteWholeFile(const std::string& name, const std::string& contents, std::string* error);

struct NamedFile {
    const char* role;  // "input", "output", "report"
    std::string name;
};
// Refuses two roles naming one file under any spelling (a link, another path).
bool CheckDistinctFiles(const std::vector<NamedFile>& files, std::string* error);
