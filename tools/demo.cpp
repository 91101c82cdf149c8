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

void PrintRow(const char* label, const char* format, const double (&values)[3]) {
    std::printf("%-26s", label);
    for (double v : values) std::printf(format, v);
    std::printf("\n");
}

void PrintSummary(const Report (&r)[3], const Options& o, const LossSettings& loss) {
    const std::string what = o.demo_input.empty() ? "built-in speech and music" : o.demo_input;
    std::printf("\nDremkoCodec demo: %.1f s of %s, %d bit/s per channel\n", r[0].duration_s, what.c_str(),
                kDemoBitRate);
    std::printf("loss: %g %% of packets in bursts of mean length %g (seed %u), the same packets in both lossy runs\n\n",
                loss.percent, loss.burst, loss.seed);
    std::printf("%-26s", "");
    for (const DemoRun& run : kRuns) std::printf("%14s", run.loss ? "with loss" : "no loss");
    std::printf("\n%-26s", "");
    for (const DemoRun& run : kRuns) std::printf("%14s", run.copies ? "with copies" : "no copies");
    std::printf("\n");
    double kbps[3], lost[3], rebuilt[3], concealed[3], snr[3], segmental[3], distance[3];
    for (int i = 0; i < 3; ++i) {
        kbps[i] = r[i].total_kbps;
        lost[i] = r[i].packets_lost;
        rebuilt[i] = r[i].frames.rebuilt;
        concealed[i] = r[i].frames.concealed;
        snr[i] = r[i].quality.snr_db;
        segmental[i] = r[i].quality.segmental_snr_db;
        distance[i] = MeanBandDistance(r[i].quality);
    }
    PrintRow("bit rate (kbit/s)", "%14.1f", kbps);
    PrintRow("packets lost", "%14.0f", lost);
    PrintRow("frames rebuilt from copies", "%14.0f", rebuilt);
    PrintRow("frames concealed", "%14.0f", concealed);
    PrintRow("SNR (dB)", "%14.2f", snr);
    PrintRow("segmental SNR (dB)", "%14.2f", segmental);
    PrintRow("spectral distance (dB)", "%14.2f", distance);
    std::printf(
        "\n%d copies cost %.1f kbit/s and rebuilt %d of the %d lost frames: SNR %.2f dB against %.2f dB "
        "without them (%.2f dB without loss)\n",
        r[0].copies, r[1].total_kbps - r[2].total_kbps, r[1].frames.rebuilt, r[1].packets_lost, r[1].quality.snr_db,
        r[2].quality.snr_db, r[0].quality.snr_db);
    std::printf("\nfiles in %s: input, demo.drk, demo-no-copies.drk, decoded-*.wav, report-*.json\n",
                o.out_dir.c_str());
    std::printf("plot one run: tools/plot_report.py %s/report-loss-copies.json %s/loss-copies.png\n", o.out_dir.c_str(),
                o.out_dir.c_str());
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
        Decoded decoded;
        if (!DecodeToFile("demo", input, stream, run.loss ? loss : LossSettings{}, output, true, &decoded, &reports[i],
                          error))
            return false;
        AddQuality(pcm, decoded, &reports[i]);
        if (!SaveReport(reports[i], o.out_dir + "/report-" + run.name + ".json", error)) return false;
    }
    PrintSummary(reports, o, loss);
    return true;
}
