// The demo: a built-in signal coded at 64 kbit/s with two copies, decoded
// without loss, through bursty loss, and through the same loss without copies.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "audio_file.h"
#include "commands.h"
#include "demo_signal.h"
#include "drk_file.h"
#include "fail.h"
#include "pipeline.h"

namespace {

constexpr int kDemoBitRate = 64000;
constexpr int kDemoCopies = 2;
constexpr double kDemoLossPercent = 10.0;
constexpr double kDemoBurst = 2.0;

struct DemoRun {
    const char* name;  // names the files of the run
    bool copies;
    bool loss;
};

constexpr DemoRun kRuns[] = {{"clean", true, false}, {"loss-copies", true, true}, {"loss-no-copies", false, true}};

bool MakeFolder(const std::string& path, std::string* error) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    if (mkdir(path.c_str(), 0777) == 0) return true;
    return Fail(error, "cannot make the folder " + path + ": " + std::strerror(errno));
}

// The input: the given file, or the built-in signal written beside the results.
bool DemoInput(const Options& o, std::vector<int16_t>* pcm, Stream* stream, std::string* input, std::string* error) {
    if (!o.demo_input.empty()) {
        *input = o.demo_input;
        return LoadInput(o.demo_input, 0, pcm, stream, error);
    }
    *input = o.out_dir + "/input.wav";
    const Audio audio = DemoSignal();
    *pcm = ToPcm16(audio.samples);
    SetSource(*pcm, audio.channels, stream);
    return WriteAudio(*input, audio, error);
}

double MeanBandDistance(const Quality& q) {
    double sum = 0.0;
    for (const BandDistance& b : q.bands) sum += b.db;
    return q.bands.empty() ? 0.0 : sum / q.bands.size();
}

void PrintRow(const char* label, const Report (&reports)[3], double (*value)(const Report&), const char* format) {
    std::printf("%-26s", label);
    for (const Report& r : reports) std::printf(format, value(r));
    std::printf("\n");
}

void PrintSummary(const Report (&r)[3], const LossSettings& loss, const std::string& out_dir) {
    std::printf("\nDremkoCodec demo: %.1f s of %s, %d bit/s per channel\n", r[0].duration_s,
                r[0].input.c_str(), kDemoBitRate);
    std::printf("loss: %g %% of packets in bursts of mean length %g (seed %u), the same packets in both lossy runs\n\n",
                loss.percent, loss.burst, loss.seed);
    std::printf("%-26s", "");
    for (const DemoRun& run : kRuns) std::printf("%14s", run.loss ? "with loss" : "no loss");
    std::printf("\n%-26s", "");
    for (const DemoRun& run : kRuns) std::printf("%14s", run.copies ? "with copies" : "no copies");
    std::printf("\n");
    PrintRow("bit rate (kbit/s)", r, [](const Report& x) { return x.total_kbps; }, "%14.1f");
    PrintRow("packets lost", r, [](const Report& x) { return double(x.packets_lost); }, "%14.0f");
    PrintRow("frames rebuilt from copies", r, [](const Report& x) { return double(x.frames.rebuilt); }, "%14.0f");
    PrintRow("frames concealed", r, [](const Report& x) { return double(x.frames.concealed); }, "%14.0f");
    PrintRow("SNR (dB)", r, [](const Report& x) { return x.quality.snr_db; }, "%14.2f");
    PrintRow("segmental SNR (dB)", r, [](const Report& x) { return x.quality.segmental_snr_db; }, "%14.2f");
    PrintRow("spectral distance (dB)", r, [](const Report& x) { return MeanBandDistance(x.quality); }, "%14.2f");
    std::printf("\nfiles in %s: input, demo.drk, demo-no-copies.drk, decoded-*.wav, report-*.json\n",
                out_dir.c_str());
    std::printf("plot one run: tools/plot_report.py %s/report-loss-copies.json %s/loss-copies.png\n",
                out_dir.c_str(), out_dir.c_str());
}

}  // namespace

bool RunDemo(const Options& o, std::string* error) {
    LossSettings loss = o.loss;
    if (loss.percent <= 0.0) loss.percent = kDemoLossPercent;
    loss.burst = kDemoBurst;
    if (!CheckBurstyLoss(loss.percent, loss.burst, error) || !MakeFolder(o.out_dir, error)) return false;

    std::vector<int16_t> pcm;
    Stream with_copies;
    std::string input;
    if (!DemoInput(o, &pcm, &with_copies, &input, error)) return false;
    with_copies.bit_rate = kDemoBitRate;
    Stream without_copies = with_copies;
    with_copies.copies = kDemoCopies;
    EncodeStream(pcm, &with_copies);
    EncodeStream(pcm, &without_copies);
    if (!WriteDrk(o.out_dir + "/demo.drk", with_copies, error) ||
        !WriteDrk(o.out_dir + "/demo-no-copies.drk", without_copies, error))
        return false;

    Report reports[3];
    for (int i = 0; i < 3; ++i) {
        const DemoRun& run = kRuns[i];
        const Stream& stream = run.copies ? with_copies : without_copies;
        const std::string output = o.out_dir + "/decoded-" + run.name + ".wav";
        std::vector<bool> lost;
        Decoded decoded;
        if (!DecodeWithLoss(stream, run.loss ? loss : LossSettings{}, &lost, &decoded, error) ||
            !SaveDecoded(output, decoded, stream, true, error))
            return false;
        Report& r = reports[i];
        r = DescribeStream("demo", stream);
        r.input = input;
        r.output = output;
        AddDecoding(lost, decoded, &r);
        r.measured = true;
        r.quality = MeasureQuality(pcm, decoded.pcm, stream.channels);
        if (!SaveReport(r, o.out_dir + "/report-" + run.name + ".json", error)) return false;
    }
    PrintSummary(reports, loss, o.out_dir);
    return true;
}
