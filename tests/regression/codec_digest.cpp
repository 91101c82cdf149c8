// Regression vectors: runs the codec over fixed inputs and settings and
// prints the SHA-256 of every packet stream, speech-flag/level sequence and
// decoded PCM. With --check FILE it compares against committed digests and
// fails on any difference; any change that alters a bit shows up here.
// DREMKO_INSTRUCTION_SET=plain (or avx2, avx512, neon) runs the library's
// kernels with that instruction set even where a wider one is available;
// exit status 77 says the processor lacks it. Every digest hashes values
// in one fixed byte order, low byte first, so that every target's match.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "dremko.h"
#include "simd/instruction_set.h"
#include "sha256.h"
#include "interface/packet_layout.h"

namespace {

constexpr int kFrames = 150;
constexpr double kPi = 3.14159265358979323846;

// Integer generator, so the inputs are the same on every platform.
struct Lcg {
    uint32_t state;
    int32_t Next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<int32_t>(state >> 16) - 32768;
    }
};

int16_t Clip(double v) { return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : std::lround(v))); }

// Voiced syllables, then chords, then noise turning into a sweep.
std::vector<int16_t> Input(uint32_t seed, double pitch_scale) {
    std::vector<int16_t> out(kFrames * kFrameSamples);
    Lcg rng{seed};
    double phase = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / 48000.0;
        const int third = static_cast<int>(i / (out.size() / 3));
        double v = 0.0;
        if (third == 0) {
            const double syllable = std::fmod(t, 0.35);
            const double env = syllable < 0.25 ? std::sin(kPi * syllable / 0.25) : 0.0;
            phase += 2 * kPi * pitch_scale * (110.0 + 25.0 * std::sin(2 * kPi * 0.8 * t)) / 48000.0;
            for (int h = 1; h <= 30; ++h) v += env * 6000.0 * std::sin(h * phase) / (1.0 + 0.02 * h * h);
        } else if (third == 1) {
            const double notes[3] = {261.63 * pitch_scale, 329.63, 392.0};
            for (double f : notes)
                for (int h = 1; h <= 8; ++h) v += 3000.0 * std::sin(2 * kPi * h * f * t) / h;
        } else {
            const double local = t - 2.0 * kFrames * kFrameSamples / 3.0 / 48000.0;
            v = 0.1 * rng.Next() * (1.0 - local) + 8000.0 * local * std::sin(2 * kPi * (100.0 + 9000.0 * local) * local);
        }
        out[i] = Clip(v + (rng.Next() >> 9));
    }
    return out;
}

std::vector<int16_t> Planar(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    std::vector<int16_t> out(2 * a.size());
    for (int f = 0; f < kFrames; ++f) {
        std::memcpy(&out[2 * f * kFrameSamples], &a[f * kFrameSamples], kFrameSamples * 2);
        std::memcpy(&out[(2 * f + 1) * kFrameSamples], &b[f * kFrameSamples], kFrameSamples * 2);
    }
    return out;
}

// received[i]: whether packet i arrives; the first always does.
std::vector<bool> LossPattern(const std::string& name) {
    std::vector<bool> received(kFrames, true);
    Lcg rng{name == "random" ? 11u : 23u};
    bool bad = false;
    for (int i = 1; i < kFrames; ++i) {
        const uint32_t u = static_cast<uint32_t>(rng.Next() + 32768);
        if (name == "random") received[i] = u >= 6554;  // about 10 %
        if (name == "bursty") {
            bad = bad ? u >= 16384 : u < 3000;  // mean burst length 4
            received[i] = !bad;
        }
        if (name == "long-gap") received[i] = i < 40 || i >= 65;
    }
    return received;
}

template <typename T>
std::string Digest(const std::vector<T>& v) {
    std::vector<uint8_t> bytes;
    AppendLowByteFirst(v, &bytes);
    return Sha256Hex(bytes.data(), bytes.size());
}

void Run(std::map<std::string, std::string>& out) {
    const std::vector<int16_t> left = Input(1, 1.0);
    const std::vector<int16_t> right = Input(2, 1.5);
    for (bool stereo : {false, true}) {
        const std::vector<int16_t> pcm = stereo ? Planar(left, right) : left;
        for (int rate : {48000, 56000, 64000}) {
            for (int copies : {0, 2, 4}) {
                std::ostringstream name;
                name << (stereo ? "stereo" : "mono") << "-" << rate << "-r" << copies;
                std::vector<uint8_t> enc(static_cast<size_t>(Dremko_SizeofEncoderContext()));
                Dremko_InitEncoderContext(enc.data(), stereo ? 2 * rate : rate, stereo);
                std::vector<std::vector<uint8_t>> packets;
                std::vector<uint8_t> stream;
                std::vector<int32_t> flags;
                for (int f = 0; f < kFrames; ++f) {
                    std::vector<uint8_t> packet(kMaxPacketBytes);
                    const int32_t part =
                        Dremko_EncodeFrame(enc.data(), &pcm[(stereo ? 2 : 1) * f * kFrameSamples], packet.data(), copies);
                    packet.resize(static_cast<size_t>(stereo ? 2 * part : part));
                    stream.insert(stream.end(), packet.begin(), packet.end());
                    packets.push_back(packet);
                    flags.push_back(DremkoEncoder_GetSpeechDetect(enc.data()));
                    flags.push_back(DremkoEncoder_GetEnergy(enc.data()));
                }
                out[name.str() + " packets"] = Digest(stream);
                out[name.str() + " flags-levels"] = Digest(flags);
                for (const char* loss : {"none", "random", "bursty", "long-gap"}) {
                    for (bool stereo_out : {false, true}) {
                        if (stereo_out && !stereo) continue;
                        const std::vector<bool> received = LossPattern(loss);
                        std::vector<uint8_t> dec(static_cast<size_t>(Dremko_SizeofDecoderContext()));
                        Dremko_InitDecoderContext(dec.data(), stereo_out);
                        // A stereo stream played on mono output: the host says so.
                        if (stereo && !stereo_out) reinterpret_cast<int32_t*>(dec.data())[2] = 1;
                        DremkoSetDecoderBitRate(dec.data(), rate);
                        DremkoSetDecoderRdpBits(dec.data(), static_cast<uint16_t>((1 << copies) - 1));
                        std::vector<int16_t> played;
                        std::vector<int16_t> buffer(21 * 2 * kFrameSamples);
                        int32_t lost = 0;
                        for (int f = 0; f < kFrames; ++f) {
                            if (!received[f]) {
                                ++lost;
                                continue;
                            }
                            int32_t delivered = 0;
                            Dremko_DecodeFrame(dec.data(), packets[f].data(), buffer.data(), lost, &delivered);
                            played.insert(played.end(), buffer.begin(),
                                          buffer.begin() + delivered * (stereo_out ? 2 : 1) * kFrameSamples);
                            lost = 0;
                        }
                        out[name.str() + " pcm-" + loss + (stereo ? (stereo_out ? "-stereo" : "-mono") : "")] =
                            Digest(played);
                    }
                }
            }
        }
    }
}

// Hostile packets: real ones with bits flipped, random bytes, all zeros and
// all ones, decoded at rates whose frames have odd byte counts as well as
// even ones and with copy masks the sender did not use; the PCM must not
// change either.
void RunDamaged(std::map<std::string, std::string>& out) {
    const std::vector<int16_t> left = Input(3, 1.2);
    const std::vector<int16_t> right = Input(4, 0.8);
    for (bool stereo : {false, true}) {
        const std::vector<int16_t> pcm = stereo ? Planar(left, right) : left;
        std::vector<uint8_t> enc(static_cast<size_t>(Dremko_SizeofEncoderContext()));
        Dremko_InitEncoderContext(enc.data(), stereo ? 128000 : 64000, stereo);
        Lcg rng{stereo ? 77u : 55u};
        std::vector<std::vector<uint8_t>> packets;
        for (int f = 0; f < kFrames; ++f) {
            std::vector<uint8_t> packet(kMaxPacketBytes, 0);
            Dremko_EncodeFrame(enc.data(), &pcm[(stereo ? 2 : 1) * f * kFrameSamples], packet.data(), 4);
            const int kind = f % 8;
            for (uint8_t& byte : packet) {
                const uint32_t u = static_cast<uint32_t>(rng.Next() + 32768);
                if (kind < 4) byte ^= static_cast<uint8_t>(u % 97 < 8 ? 1u << (u % 8) : 0u);
                if (kind == 4 || kind == 5) byte = static_cast<uint8_t>(u);
                if (kind == 6) byte = 0;
                if (kind == 7) byte = 0xff;
            }
            packets.push_back(packet);
        }
        for (int rate : {48000, 48408, 57000, 63608, 64000}) {
            std::vector<uint8_t> dec(static_cast<size_t>(Dremko_SizeofDecoderContext()));
            Dremko_InitDecoderContext(dec.data(), stereo);
            DremkoSetDecoderBitRate(dec.data(), rate);
            std::vector<int16_t> played;
            std::vector<int16_t> buffer(21 * 2 * kFrameSamples);
            int32_t lost = 0;
            for (int f = 0; f < kFrames; ++f) {
                const uint32_t u = static_cast<uint32_t>(rng.Next() + 32768);
                if (f > 0 && u % 5 == 0) {
                    ++lost;
                    continue;
                }
                if (f % 30 == 0) DremkoSetDecoderRdpBits(dec.data(), static_cast<uint16_t>(u >> 4));
                int32_t delivered = 0;
                Dremko_DecodeFrame(dec.data(), packets[f].data(), buffer.data(), lost, &delivered);
                played.insert(played.end(), buffer.begin(), buffer.begin() + delivered * (stereo ? 2 : 1) * kFrameSamples);
                lost = 0;
            }
            out[std::string(stereo ? "stereo" : "mono") + "-damaged-" + std::to_string(rate) + " pcm"] =
                Digest(played);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (const char* name = std::getenv("DREMKO_INSTRUCTION_SET")) {
        InstructionSet set;
        if (!InstructionSetNamed(name, &set)) {
            std::cerr << "codec_digest: this target has no instruction set " << name << "\n";
            return 2;
        }
        if (!ForceInstructionSet(set)) {
            std::cerr << "codec_digest: this processor has no " << name << "\n";
            return 77;
        }
    }
    std::map<std::string, std::string> digests;
    Run(digests);
    // The decoder reports inconsistent frames on standard output; what it
    // reports for the hostile packets is part of the digests too. They are
    // read back from the file by name: where descriptors duplicated with
    // dup2 keep their own file positions (WebAssembly under node), a
    // stream's position would not show what was written through the other.
    std::fflush(stdout);
    char path[] = "/tmp/codec_digest_XXXXXX";
    const int reports = mkstemp(path);
    const int console = dup(STDOUT_FILENO);
    if (reports < 0 || console < 0 || dup2(reports, STDOUT_FILENO) < 0) {
        std::cerr << "codec_digest: cannot capture standard output\n";
        if (reports >= 0) std::remove(path);
        return 1;
    }
    RunDamaged(digests);
    std::fflush(stdout);
    dup2(console, STDOUT_FILENO);
    close(console);
    close(reports);
    std::ifstream captured(path, std::ios::binary);
    const std::vector<char> text((std::istreambuf_iterator<char>(captured)), std::istreambuf_iterator<char>());
    std::remove(path);
    digests["damaged frame reports"] = Digest(text);
    if (argc == 3 && std::string(argv[1]) == "--check") {
        std::ifstream in(argv[2]);
        std::map<std::string, std::string> expected;
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            const size_t space = line.rfind(' ');
            expected[line.substr(0, space)] = line.substr(space + 1);
        }
        int differences = 0;
        for (const auto& [key, value] : digests)
            if (expected[key] != value) {
                std::cout << "differs: " << key << " " << value << " (expected " << expected[key] << ")\n";
                ++differences;
            }
        if (expected.size() != digests.size()) ++differences;
        std::cout << digests.size() << " digests, " << differences << " differences\n";
        return differences == 0 ? 0 : 1;
    }
    std::cout << "# SHA-256 of the codec's outputs for the fixed regression inputs; written by codec_digest.\n";
    for (const auto& [key, value] : digests) std::cout << key << " " << value << "\n";
    return 0;
}
