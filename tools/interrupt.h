// Temporary files that must not outlive the run: an interrupt (SIGINT,
// SIGTERM, SIGHUP) or a closed pipe (SIGPIPE) removes them, and the process
// then ends by the same signal, so the shell sees the conventional status.
#pragma once

void RemoveTemporariesOnSignals();
// At most a few files are pending at once (audio or packets, and a report).
void AddTemporary(const char* path);
void DropTemporary(const char* path);
// For the last resort of an unexpected failure.
void RemoveTemporaries();
