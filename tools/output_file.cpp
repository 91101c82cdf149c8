#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "fail.h"
#include "interrupt.h"

namespace {

bool CannotWrite(const std::string& name, std::string* error) {
    return Fail(error, "cannot write " + name + ": " + std::strerror(errno));
}

// Where a finished regular file belongs: the target of a link (also of one
// to a file not yet there), so the link stays.
std::string Resolved(const std::string& name) {
    char resolved[PATH_MAX];
    if (realpath(name.c_str(), resolved)) return resolved;
    std::string path = name;
    constexpr int kMostLinks = 40;  // as the kernel follows
    for (int hop = 0; hop < kMostLinks; ++hop) {
        const ssize_t length = readlink(path.c_str(), resolved, sizeof resolved - 1);
        if (length < 0) break;
        const std::string target(resolved, static_cast<size_t>(length));
        const size_t slash = path.find_last_of('/');
        path = target[0] == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
    return path;
}

// The full path a file not yet there would get, whatever the spelling.
std::string NewFilePath(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    return Resolved(folder) + "/" + name.substr(slash == std::string::npos ? 0 : slash + 1);
}

bool WrittenStraight(const std::string& name) {
    struct stat info;
    return stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

bool OpenStraight(OutputFile* out, int fd, std::string* error) {
    out->file = fdopen(fd, "wb");
    if (!out->file) {
        close(fd);
        return CannotWrite(out->name, error);
    }
    struct stat info;
    out->seekable = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && lseek(fd, 0, SEEK_CUR) >= 0;
    return true;
}

}  // namespace

bool OpenOutput(const std::string& name, OutputFile* out, std::string* error) {
    *out = OutputFile{};
    out->name = name;
    if (name == "-") {
        const int fd = dup(ToolOutputDescriptor());
        if (fd < 0) return CannotWrite("the standard output", error);
        return OpenStraight(out, fd, error);
    }
    struct stat info;
    if (stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Fail(error, "cannot write " + name + ": it is a folder");
    if (WrittenStraight(name)) {
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) return CannotWrite(name, error);
        return OpenStraight(out, fd, error);
    }
    out->target = Resolved(name);
    out->temporary = out->target + ".part-" + std::to_string(getpid());
    AddTemporary(out->temporary.c_str());
    const int fd = open(out->temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        DropTemporary(out->temporary.c_str());
        return CannotWrite(name, error);
    }
    // A replaced file keeps its permissions.
    if (stat(out->target.c_str(), &info) == 0) fchmod(fd, info.st_mode & 07777);
    if (!OpenStraight(out, fd, error)) {
        AbandonOutput(out);
        return false;
    }
    return true;
}

bool CommitOutput(OutputFile* out, std::string* error) {
    bool written = std::fflush(out->file) == 0 && !std::ferror(out->file);
    int why = errno;
    if (std::fclose(out->file) != 0 && written) {
        written = false;
        why = errno;
    }
    out->file = nullptr;
    if (written && !out->temporary.empty() && std::rename(out->temporary.c_str(), out->target.c_str()) != 0) {
        written = false;
        why = errno;
    }
    if (written) {
        DropTemporary(out->temporary.c_str());
        return true;
    }
    errno = why;
    CannotWrite(out->name, error);
    AbandonOutput(out);
    return false;
}

void AbandonOutput(OutputFile* out) {
    if (out->file) std::fclose(out->file);
    out->file = nullptr;
    if (out->temporary.empty()) return;
    unlink(out->temporary.c_str());
    DropTemporary(out->temporary.c_str());
    out->temporary.clear();
}

bool CheckWritable(const std::string& name, std::string* error) {
    if (name == "-") return true;
    struct stat info;
    if (stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Fail(error, "cannot write " + name + ": it is a folder");
    if (WrittenStraight(name)) return access(name.c_str(), W_OK) == 0 || CannotWrite(name, error);
    // A new file in the target's folder shows that the folder exists and takes files.
    const std::string probe = Resolved(name) + ".part-" + std::to_string(getpid());
    AddTemporary(probe.c_str());
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    const bool created = fd >= 0;
    if (created) {
        close(fd);
        unlink(probe.c_str());
    }
    DropTemporary(probe.c_str());
    return created || CannotWrite(name, error);
}

bool WriteWholeFile(const std::string& name, const std::string& contents, std::string* error) {
    OutputFile out;
    if (!OpenOutput(name, &out, error)) return false;
    if (std::fwrite(contents.data(), 1, contents.size(), out.file) != contents.size()) {
        CannotWrite(name, error);
        AbandonOutput(&out);
        return false;
    }
    return CommitOutput(&out, error);
}

bool CheckDistinctFiles(const std::vector<NamedFile>& files, std::string* error) {
    for (size_t a = 0; a < files.size(); ++a)
        for (size_t b = a + 1; b < files.size(); ++b) {
            const std::string& one = files[a].name;
            const std::string& other = files[b].name;
            if (one.empty() || other.empty() || one == "-" || other == "-") continue;
            struct stat first, second;
            const bool first_exists = stat(one.c_str(), &first) == 0;
            const bool second_exists = stat(other.c_str(), &second) == 0;
            // Devices such as /dev/null may well take two outputs.
            const bool same = first_exists && second_exists
                                  ? first.st_dev == second.st_dev && first.st_ino == second.st_ino && !S_ISCHR(first.st_mode)
                                  : !first_exists && !second_exists && NewFilePath(one) == NewFilePath(other);
            if (same)
                return Fail(error, std::string("the ") + files[a].role + " and the " + files[b].role +
                                       " are the same file (" + one + ", " + other + ")");
        }
    return true;
}
