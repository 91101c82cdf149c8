// The shared library exports exactly the eleven codec functions.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <string>

namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
    std::set<std::string> symbols;
    const std::string command = "nm -D --defined-only '" + library + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return symbols;
    std::array<char, 512> line{};
    while (fgets(line.data(), line.size(), pipe)) {
        char type = 0;
        char name[400] = {};
        unsigned long long address = 0;
        if (sscanf(line.data(), "%llx %c %399s", &address, &type, name) == 3) symbols.insert(name);
    }
    pclose(pipe);
    return symbols;
}

TEST(SharedLibrary, ExportsExactlyTheElevenFunctions) {
    const std::set<std::string> expected = {
        "Dremko_SizeofEncoderContext", "Dremko_InitEncoderContext", "Dremko_EncodeFrame",
        "DremkoEncoder_GetSpeechDetect", "DremkoEncoder_GetEnergy",  "DremkoEncoder_GetRP",
        "Dremko_SizeofDecoderContext", "Dremko_InitDecoderContext", "DremkoSetDecoderBitRate",
        "DremkoSetDecoderRdpBits",     "Dremko_DecodeFrame"};
    std::set<std::string> found = DefinedDynamicSymbols(DREMKO_SHARED_LIBRARY);
    ASSERT_FALSE(found.empty()) << "could not read the dynamic symbols of " << DREMKO_SHARED_LIBRARY;
    EXPECT_EQ(found, expected);
}

}  // namespace
