// DremkoCodec against libopus: microseconds per 20 ms frame for encoding and
// decoding, mono and stereo, 48 and 64 kbit/s per channel, with and without
// loss, all measured in one run on the same audio; then the decoder's
// heaviest call and the cost of a context initialisation.
//
//   dremko_bench [--repeat N] [--frames N] [--smoke] [--digest] [--plain]
//                [--instruction-set plain|avx2|avx512|neon]
//
// Times are CPU time of the benchmark's thread, so other processes on the
// machine do not inflate them; each figure is the best of N passes over the
// audio, and the passes of both codecs alternate. --digest prints an
// FNV-1a hash of every DremkoCodec output instead, to compare the bits of
// two builds or machines. --instruction-set runs DremkoCodec's kernels with
// the set named even where a wider one is available (a set the processor
// lacks is an error); --plain is --instruction-set plain.
#include <opus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "bench_audio.h"
#include "simd/instruction_set.h"
#include "dremko_runs.h"
#include "opus_runs.h"

namespace {

constexpr int kCopies = 2;
constexpr int kRates[2] = {48000, 64000};

struct Options {
    int repeat = 7;
    int frames = 1 << 30;
    int single_calls = 300;  // repeats of the one-call measurements
    bool digest = false;
};

// Best (smallest) microseconds per frame of each codec for one case.
struct Figures {
    double dremko = 1e30;
    double opus = 1e30;
};

struct StreamFigures {
    DremkoStream stream;
    Figures encode, decode, decode_lossy;
};

Options ParseOptions(int argc, char** argv) {
    Options o;
    InstructionSet set;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) {
            o.repeat = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--frames" && i + 1 < argc) {
            o.frames = std::max(40, std::atoi(argv[++i]));
        } else if (arg == "--smoke") {
            o.repeat = 1;
            o.frames = 40;
            o.single_calls = 3;
        } else if (arg == "--digest") {
            o.digest = true;
        } else if (arg == "--plain") {
            ForceInstructionSet(InstructionSet::kPlain);
        } else if (arg == "--instruction-set" && i + 1 < argc) {
            // A set of another architecture is refused, never run as the plain one.
            if (!InstructionSetNamed(argv[i + 1], &set)) {
                std::fprintf(stderr, "dremko_bench: this build has no instruction set %s\n", argv[i + 1]);
                std::exit(2);
            }
            if (!ForceInstructionSet(set)) {
                std::fprintf(stderr, "dremko_bench: this processor has no %s\n", argv[i + 1]);
                std::exit(2);
            }
            ++i;
        } else {
            std::fprintf(stderr,
                         "usage: dremko_bench [--repeat N] [--frames N] [--smoke] [--digest] [--plain]\n"
                         "                    [--instruction-set plain|avx2|avx512|neon]\n");
            std::exit(2);
        }
    }
    return o;
}

std::string CpuName() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown processor";
}

void Keep(double micros, double* best) { *best = std::min(*best, micros); }

// One pass of every measurement of a stream, both codecs in turn.
void MeasureStream(const BenchAudio& audio, const std::vector<bool>& lossy, StreamFigures* s) {
    DremkoEncoded ours;
    std::vector<OpusPacket> theirs;
    std::vector<int16_t> pcm;
    const std::vector<bool> all(static_cast<size_t>(audio.frames), true);
    Keep(DremkoEncode(audio, s->stream, &ours), &s->encode.dremko);
    Keep(OpusEncode(audio, s->stream.stereo, s->stream.rate, &theirs), &s->encode.opus);
    Keep(DremkoDecode(ours.packets, all, s->stream, &pcm), &s->decode.dremko);
    Keep(OpusDecode(theirs, all, s->stream.stereo), &s->decode.opus);
    Keep(DremkoDecode(ours.packets, lossy, s->stream, &pcm), &s->decode_lossy.dremko);
    Keep(OpusDecode(theirs, lossy, s->stream.stereo), &s->decode_lossy.opus);
}

std::string StreamName(const DremkoStream& s) {
    return std::string(s.stereo ? "stereo" : "mono") + " " + std::to_string(s.rate / 1000) + " kbit/s";
}

void PrintRow(const std::string& what, const Figures& f) {
    std::printf("| %-38s | %8.1f | %6.0f | %8.1f | %6.0f | %5.2f |\n", what.c_str(), f.dremko,
                kFrameMicros / f.dremko, f.opus, kFrameMicros / f.opus, f.opus / f.dremko);
}

void PrintTable(const Options& o, const BenchAudio& audio, const std::vector<StreamFigures>& all) {
    std::printf("DremkoCodec (%s kernels) against %s on %s\n",
                InstructionSetName(ActiveInstructionSet()), opus_get_version_string(),
                CpuName().c_str());
    std::printf("%d frames (%.1f s) per pass, best of %d passes, thread CPU time; %d redundant copies in DremkoCodec "
                "packets;\n",
                audio.frames, audio.frames * kFrameMicros / 1e6, o.repeat, kCopies);
    std::printf("libopus: restricted low delay, complexity 10, CBR, 20 ms; a stereo frame is both channels.\n\n");
    std::printf("| %-38s | Dremko µs/frame | × real time | libopus µs/frame | × real time | libopus / Dremko |\n",
                "case");
    std::printf("|%s|---:|---:|---:|---:|---:|\n", std::string(40, '-').c_str());
    for (const StreamFigures& s : all) {
        PrintRow("encode " + StreamName(s.stream), s.encode);
        PrintRow("decode " + StreamName(s.stream), s.decode);
        PrintRow("decode " + StreamName(s.stream) + ", 10 % loss", s.decode_lossy);
    }
}

void PrintSingleCalls(const Options& o, const BenchAudio& audio, double first_init) {
    std::printf("\n| %-62s | µs |\n|%s|---:|\n", "single call (best of repeats)", std::string(64, '-').c_str());
    for (bool stereo : {false, true}) {
        const DremkoStream stream{stereo, 64000, kCopies};
        DremkoEncoded encoded;
        DremkoEncode(audio, stream, &encoded);
        const std::string what = "decoder call rebuilding a 20-frame gap, " + StreamName(stream);
        std::printf("| %-62s | %8.1f |\n", what.c_str(), DremkoGapCall(encoded.packets, stream, o.single_calls));
    }
    std::printf("| %-62s | %8.1f |\n", "encoder context initialisation", DremkoEncoderInit(o.single_calls));
    std::printf("| %-62s | %8.1f |\n", "decoder context initialisation", DremkoDecoderInit(o.single_calls));
    std::printf("| %-62s | %8.1f |\n", "first initialisation in a process (builds the shared tables)", first_init);
}

// FNV-1a, 64 bits, over bytes; values are fed low byte first, so that every
// target's digests compare.
uint64_t Fnv1a(const uint8_t* data, size_t bytes, uint64_t hash = 14695981039346656037ull) {
    for (size_t i = 0; i < bytes; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    return hash;
}
template <typename Value>
uint64_t Fnv1aValues(const std::vector<Value>& values) {
    uint64_t hash = Fnv1a(nullptr, 0);
    for (const Value v : values) {
        const auto bits = static_cast<std::make_unsigned_t<Value>>(v);
        for (size_t b = 0; b < sizeof bits; ++b) {
            const uint8_t byte = static_cast<uint8_t>(bits >> (8 * b));
            hash = Fnv1a(&byte, 1, hash);
        }
    }
    return hash;
}

void PrintDigests(const BenchAudio& audio, const std::vector<bool>& lossy) {
    const std::vector<bool> all(static_cast<size_t>(audio.frames), true);
    for (bool stereo : {false, true})
        for (int rate : kRates)
            for (int copies : {0, kCopies, 4}) {
                const DremkoStream stream{stereo, rate, copies};
                DremkoEncoded encoded;
                std::vector<int16_t> clean, lost;
                DremkoEncode(audio, stream, &encoded);
                DremkoDecode(encoded.packets, all, stream, &clean);
                DremkoDecode(encoded.packets, lossy, stream, &lost);
                uint64_t packets = Fnv1a(nullptr, 0);
                for (const Packet& p : encoded.packets) packets = Fnv1a(p.data(), p.size(), packets);
                std::printf("%s r%d packets %016llx flags-levels %016llx pcm %016llx pcm-loss %016llx\n",
                            StreamName(stream).c_str(), copies, static_cast<unsigned long long>(packets),
                            static_cast<unsigned long long>(Fnv1aValues(encoded.flags_levels)),
                            static_cast<unsigned long long>(Fnv1aValues(clean)),
                            static_cast<unsigned long long>(Fnv1aValues(lost)));
            }
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = ParseOptions(argc, argv);
    const double first_init = DremkoFirstInit();  // before any other codec call
    const BenchAudio audio = LoadBenchAudio(o.frames);
    const std::vector<bool> lossy = LossPattern(audio.frames);
    if (o.digest) {
        PrintDigests(audio, lossy);
        return 0;
    }

    std::vector<StreamFigures> all;
    for (bool stereo : {false, true})
        for (int rate : kRates) all.push_back(StreamFigures{DremkoStream{stereo, rate, kCopies}, {}, {}, {}});
    for (int r = 0; r < o.repeat; ++r)
        for (StreamFigures& s : all) MeasureStream(audio, lossy, &s);
    PrintTable(o, audio, all);
    PrintSingleCalls(o, audio, first_init);
    return 0;
}
