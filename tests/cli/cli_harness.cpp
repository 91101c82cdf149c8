#include "cli/cli_harness.h"

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace cli_test {

namespace fs = std::filesystem;

Result RunShell(const fs::path& dir, const std::string& script) {
    const fs::path files[] = {dir / ".script", dir / ".stdout", dir / ".stderr"};
    WriteText(files[0], script);
    const std::string command = "cd '" + dir.string() + "' && DREMKO='" DREMKO_CLI
                                "' sh .script > .stdout 2> .stderr < /dev/null";
    Result r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadText(files[1]);
    r.err = ReadText(files[2]);
    for (const fs::path& f : files) fs::remove(f);
    return r;
}

Result RunDremko(const fs::path& dir, const std::string& args) { return RunShell(dir, "\"$DREMKO\" " + args); }

void WriteAudioFile(const fs::path& path, const Pcm& pcm, int format) {
    SF_INFO info{};
    info.samplerate = pcm.rate;
    info.channels = pcm.channels;
    info.format = format | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    const sf_count_t frames = static_cast<sf_count_t>(pcm.samples.size() / pcm.channels);
    EXPECT_EQ(sf_writef_short(f, pcm.samples.data(), frames), frames);
    sf_close(f);
}

Pcm ReadAudioFile(const fs::path& path) {
    Pcm pcm;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return pcm;
    }
    pcm.rate = info.samplerate;
    pcm.channels = info.channels;
    pcm.samples.resize(static_cast<size_t>(info.frames) * info.channels);
    sf_readf_short(f, pcm.samples.data(), info.frames);
    sf_close(f);
    return pcm;
}

std::vector<int16_t> Interleave(const std::vector<std::vector<int16_t>>& channels) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < channels[0].size(); ++i)
        for (const auto& c : channels) out.push_back(c[i]);
    return out;
}

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& test) {
    double signal = 0.0;
    double noise = 0.0;
    for (size_t i = 0; i < reference.size() && i < test.size(); ++i) {
        signal += double(reference[i]) * reference[i];
        noise += (double(reference[i]) - test[i]) * (double(reference[i]) - test[i]);
    }
    return 10.0 * std::log10((signal + 1.0) / (noise + 1.0));
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

namespace {
size_t ValueStart(const std::string& json, const std::string& key) {
    const size_t at = json.find("\"" + key + "\":");
    if (at == std::string::npos) return at;
    return json.find_first_not_of(' ', at + key.size() + 3);
}
}  // namespace

double JsonNumber(const std::string& json, const std::string& key) {
    const size_t at = ValueStart(json, key);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no number " << key << " in the report";
        return NAN;
    }
    return std::strtod(json.c_str() + at, nullptr);
}

std::string JsonString(const std::string& json, const std::string& key) {
    const size_t at = ValueStart(json, key);
    if (at == std::string::npos || json[at] != '"') {
        ADD_FAILURE() << "no string " << key << " in the report";
        return "";
    }
    return json.substr(at + 1, json.find('"', at + 1) - at - 1);
}

void CliTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    dir_ = fs::temp_directory_path() / ("dremko-cli-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
}

void CliTest::TearDown() {
    if (!HasFailure()) fs::remove_all(dir_);
}

}  // namespace cli_test
