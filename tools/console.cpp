#include "console.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FILE* tool_output = stdout;
int tool_descriptor = STDOUT_FILENO;
int caught = -1;  // read end of the pipe that stands in for standard output

}  // namespace

bool CaptureLibraryConsole() {
    int ends[2];
    const int saved = dup(STDOUT_FILENO);
    if (saved < 0 || pipe(ends) != 0) return false;
    FILE* out = fdopen(saved, "w");
    if (!out || dup2(ends[1], STDOUT_FILENO) < 0) return false;
    close(ends[1]);
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    fcntl(saved, F_SETFD, FD_CLOEXEC);
    caught = ends[0];
    tool_output = out;
    tool_descriptor = saved;
    return true;
}

FILE* ToolOutput() { return tool_output; }

int ToolOutputDescriptor() { return tool_descriptor; }

std::string StandardOutputAsDash(const std::string& name) {
    struct stat pipe_info, info;
    const bool caught_pipe = caught >= 0 && fstat(caught, &pipe_info) == 0 && stat(name.c_str(), &info) == 0 &&
                             info.st_dev == pipe_info.st_dev && info.st_ino == pipe_info.st_ino;
    return caught_pipe ? "-" : name;
}

int TakeLibraryLines() {
    if (caught < 0) return 0;
    std::fflush(stdout);
    int lines = 0;
    char buffer[4096];
    ssize_t got;
    while ((got = read(caught, buffer, sizeof buffer)) > 0)
        for (ssize_t i = 0; i < got; ++i) lines += buffer[i] == '\n';
    return lines;
}
