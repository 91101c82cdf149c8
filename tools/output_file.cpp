#include "output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fail.h"

std::string TemporaryPath(const std::string& path) { return path + ".part-" + std::to_string(getpid()); }

bool CheckWritable(const std::string& path, std::string* error) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Fail(error, "cannot write " + path + ": it is a folder");
    const std::string probe = TemporaryPath(path);
    FILE* f = std::fopen(probe.c_str(), "wb");
    if (!f) return Fail(error, "cannot write " + path + ": " + std::strerror(errno));
    std::fclose(f);
    std::remove(probe.c_str());
    return true;
}

bool CommitOutput(const std::string& temporary, const std::string& path, std::string* error) {
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    *error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
}

bool WriteWholeFile(const std::string& path, const std::string& contents, std::string* error) {
    const std::string temporary = TemporaryPath(path);
    FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) return Fail(error, "cannot write " + path + ": " + std::strerror(errno));
    const bool written = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
    const int saved_errno = errno;
    if (std::fclose(f) != 0 || !written) {
        std::remove(temporary.c_str());
        return Fail(error, "cannot write " + path + ": " + std::strerror(written ? errno : saved_errno));
    }
    return CommitOutput(temporary, path, error);
}
