// dremko: encode, decode and measure audio with DremkoCodec.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "dremko.h"
#include "options.h"

namespace {

bool Run(const CommandSpec& command, const Options& options, std::string* error) {
    switch (command.bit) {
        case kEncode: return RunEncode(options, error);
        case kDecode: return RunDecode(options, error);
        case kRoundtrip: return RunRoundtrip(options, error);
        case kInfo: return RunInfo(options, error);
        default: return RunDemo(options, error);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        PrintToolHelp(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("dremko %s\n", DREMKO_VERSION);
        return 0;
    }
    const CommandSpec* command = FindCommand(argv[1]);
    if (!command) {
        std::fprintf(stderr, "dremko: unknown command %s (see dremko --help)\n", argv[1]);
        return 2;
    }
    Options options;
    std::string error;
    if (!ParseOptions(*command, argc, argv, 2, &options, &error)) {
        std::fprintf(stderr, "dremko %s: %s\n", command->name, error.c_str());
        return 2;
    }
    if (options.help) {
        PrintCommandHelp(*command, stdout);
        return 0;
    }
    if (!Run(*command, options, &error)) {
        std::fprintf(stderr, "dremko %s: %s\n", command->name, error.c_str());
        return 1;
    }
    return 0;
}
