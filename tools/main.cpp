// dremko: encode, decode and measure audio with DremkoCodec.
// Exit status: 0 success, 1 the run failed, 2 wrong usage.
#include <cstdio>
#include <exception>
#include <string>

#include "commands.h"
#include "console.h"
#include "dremko.h"
#include "interrupt.h"
#include "options.h"

namespace {

bool Run(const CommandInfo& command, const Options& options, std::string* error) {
    switch (command.bit) {
        case kEncode: return RunEncode(options, error);
        case kDecode: return RunDecode(options, error);
        case kRoundtrip: return RunRoundtrip(options, error);
        case kInfo: return RunInfo(options, error);
        default: return RunDemo(options, error);
    }
}

int Finish(int status) {
    // A standard output that cannot take the last lines fails the run.
    if (std::fflush(ToolOutput()) != 0 && status == 0) {
        std::fprintf(stderr, "dremko: cannot write the standard output\n");
        return 1;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    CaptureLibraryConsole();
    RemoveTemporariesOnSignals();
    const std::string first = argc < 2 ? "" : argv[1];
    if (argc < 2) {
        PrintToolHelp(stderr);
        return 2;
    }
    if (first == "--help" || first == "-h") {
        PrintToolHelp(ToolOutput());
        return Finish(0);
    }
    if (first == "--version" || first == "-V") {
        std::fprintf(ToolOutput(), "dremko %s\n", DREMKO_VERSION);
        return Finish(0);
    }
    const CommandInfo* command = FindCommand(first);
    if (!command) {
        std::fprintf(stderr, "dremko: unknown %s %s (see dremko --help)\n", first[0] == '-' ? "option" : "command",
                     first.c_str());
        return 2;
    }
    Options options;
    std::string error;
    if (!ParseOptions(*command, argc, argv, 2, &options, &error)) {
        std::fprintf(stderr, "dremko %s: %s\n", command->name, error.c_str());
        return 2;
    }
    if (options.help || options.version) {
        if (options.help) PrintCommandHelp(*command, ToolOutput());
        else std::fprintf(ToolOutput(), "dremko %s\n", DREMKO_VERSION);
        return Finish(0);
    }
    bool done = false;
    try {
        done = Run(*command, options, &error);
    } catch (const std::exception& e) {
        // Nothing should get here; if something does, it still ends in one line and no partial files.
        RemoveTemporaries();
        error = std::string("unexpected failure: ") + e.what();
    }
    if (!done) {
        std::fprintf(stderr, "dremko %s: %s\n", command->name, error.c_str());
        return 1;
    }
    return Finish(0);
}
