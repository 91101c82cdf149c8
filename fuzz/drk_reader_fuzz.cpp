// .drk reader fuzz target: the command-line tool's packet file reader on any
// bytes. A file it accepts must be written back byte for byte.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "drk_file.h"

namespace {

std::string input_path;
std::string rewritten_path;

void Check(bool condition) {
    if (!condition) std::abort();
}

void RemoveFiles() {
    std::remove(input_path.c_str());
    std::remove(rewritten_path.c_str());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* dir = std::getenv("TMPDIR");
    const std::string base = std::string(dir && *dir ? dir : "/tmp") + "/drk_reader_fuzz." + std::to_string(getpid());
    input_path = base + ".drk";
    rewritten_path = base + ".rewritten.drk";
    std::atexit(RemoveFiles);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(input_path.c_str(), "wb");
    Check(f != nullptr);
    Check(std::fwrite(data, 1, size, f) == size);
    std::fclose(f);

    Stream stream;
    std::string error;
    if (!ReadDrk(input_path, &stream, &error)) {
        // One line naming the fault.
        Check(!error.empty() && error.find('\n') == std::string::npos);
        return 0;
    }
    for (const Packet& p : stream.packets) Check(p.bytes.size() == static_cast<size_t>(PacketBytes(stream)));
    Check(WriteDrk(rewritten_path, stream, &error));
    Check(ReadFile(rewritten_path) == std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
