// Running the dremko binary from tests, and the audio and report files
// the tests give it and read back.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace cli_test {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell script with `dir` as the working folder and the binary's
// path in $DREMKO; the script's exit status is the result's.
Result RunShell(const std::filesystem::path& dir, const std::string& script);
// Runs `dremko ARGS` with `dir` as the working folder.
Result RunDremko(const std::filesystem::path& dir, const std::string& args);

struct Pcm {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved
};

// Writes 16-bit audio; `format` is a libsndfile major format (SF_FORMAT_WAV, ...).
void WriteAudioFile(const std::filesystem::path& path, const Pcm& pcm, int format);
Pcm ReadAudioFile(const std::filesystem::path& path);
// Interleaves mono signals into one multichannel signal.
std::vector<int16_t> Interleave(const std::vector<std::vector<int16_t>>& channels);
double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& test);

std::string ReadText(const std::filesystem::path& path);
void WriteText(const std::filesystem::path& path, const std::string& text);
// A number or a string field of the tool's JSON report.
double JsonNumber(const std::string& json, const std::string& key);
std::string JsonString(const std::string& json, const std::string& key);

// Each test gets its own empty folder, removed afterwards.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path dir_;
};

}  // namespace cli_test
