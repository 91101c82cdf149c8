// The demo: a built-in signal coded at 64 kbit/s with two copies, decoded
// without loss, through bursty loss, and through the same loss without copies.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "audio_output.h"
#include "commands.h"
#include "console.h"
#include "demo_signal.h"
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
    const char* packets;  // the packet file it keeps, if any
};

constexpr DemoRun kRuns[] = {{"clean", true, false, "demo.drk"},
                             {"loss-copies", true, true, ""},
                             {"loss-no-copies", false, true, "demo-no-copies.drk"}};

// The files a demo writes, removed again with the folder if it fails.
struct DemoFiles {
    std::string folder;
    bool made_folder = false;
    std::vector<std::string> written;
    std::string Add(const std::string& name) {
        written.push_back(folder + "/" + name);
        return written.back();
    }
};

bool MakeFolder(DemoFiles* files, std::string* error) {
    struct stat info;
    if (stat(files->folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    files->made_folder = mkdir(files->folder.c_str(), 0777) == 0;
    return files->made_folder || Fail(error, "cannot make the folder " + files->folder + ": " + std::strerror(errno));
}

void RemoveFiles(const DemoFiles& files) {
    for (const std::string& path : files.written) unlink(path.c_str());
    if (files.made_folder) rmdir(files.folder.c_str());
}

bool WriteSignal(const std::string& path, std::string* error) {
    const Audio audio = DemoSignal();
    AudioOutput out;
    const size_t frames = audio.samples.size() / audio.channels;
    return OpenAudioOutput(path, AudioType::kWav, SampleFormat::kS16, audio.rate, audio.channels,
                           static_cast<int64_t>(frames), &out, error) &&
           WriteAudioBlock(&out, audio.samples.data(), frames, error) && CloseAudioOutput(&out, error);
}

double MeanBandDistance(const Quality& q) {
    double sum = 0.0;
    int bands = 0;
    for (const BandDistance& b : q.bands)
        if (b.blocks) {
            sum += b.db;
            ++bands;
        }
    return bands ? sum / bands : 0.0;
}

void PrintRow(FILE* out, const char* label, const char* format, const double (&values)[3]) {
    std::fprintf(out, "%-26s", label);
    for (double v : values) std::fprintf(out, format, v);
    std::fprintf(out, "\n");
}

void PrintSummary(FILE* out, const Report (&r)[3], const Options& o, const LossSettings& loss) {
    const std::string what = o.demo_input.empty() ? "built-in speech and music" : o.demo_input;
    std::fprintf(out, "\nDremkoCodec demo: %.1f s of %s, %d bit/s per channel\n", r[0].duration_s, what.c_str(),
                 kDemoBitRate);
    std::fprintf(out, "loss: %g %% of packets in bursts of mean length %g (seed %u), the same packets in both lossy runs\n\n",
                 loss.percent, loss.burst, loss.seed);
    std::fprintf(out, "%-26s", "");
    for (const DemoRun& run : kRuns) std::fprintf(out, "%14s", run.loss ? "with loss" : "no loss");
    std::fprintf(out, "\n%-26s", "");
    for (const DemoRun& run : kRuns) std::fprintf(out, "%14s", run.copies ? "with copies" : "no copies");
    std::fprintf(out, "\n");
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
    PrintRow(out, "bit rate (kbit/s)", "%14.1f", kbps);
    PrintRow(out, "packets lost", "%14.0f", lost);
    PrintRow(out, "frames rebuilt from copies", "%14.0f", rebuilt);
    PrintRow(out, "frames concealed", "%14.0f", concealed);
    PrintRow(out, "SNR (dB)", "%14.2f", snr);
    PrintRow(out, "segmental SNR (dB)", "%14.2f", segmental);
    PrintRow(out, "spectral distance (dB)", "%14.2f", distance);
    std::fprintf(out,
                 "\n%d copies cost %.1f kbit/s and rebuilt %d of the %d lost frames: SNR %.2f dB against %.2f dB "
                 "without them (%.2f dB without loss)\n",
                 r[0].copies, r[1].total_kbps - r[2].total_kbps, r[1].frames.rebuilt, r[1].packets_lost,
                 r[1].quality.snr_db, r[2].quality.snr_db, r[0].quality.snr_db);
    std::fprintf(out, "\nfiles in %s: input, demo.drk, demo-no-copies.drk, decoded-*.wav, report-*.json\n",
                 o.out_dir.c_str());
    std::fprintf(out, "plot one run: dremko-plot-report %s/report-loss-copies.json %s/loss-copies.png\n",
                 o.out_dir.c_str(), o.out_dir.c_str());
}

bool RunAll(const Options& o, const LossSettings& loss, DemoFiles* files, Report (&reports)[3], std::string* error) {
    std::string input = o.demo_input;
    if (input.empty()) {
        input = files->Add("input.wav");
        if (!WriteSignal(input, error)) return false;
    }
    for (int i = 0; i < 3; ++i) {
        const DemoRun& run = kRuns[i];
        Options settings = o;
        settings.bit_rate = kDemoBitRate;
        settings.copies = run.copies ? kDemoCopies : 0;
        settings.loss = run.loss ? loss : LossSettings{};
        settings.original_rate = true;
        const RunFiles paths{input, *run.packets ? files->Add(run.packets) : "",
                             files->Add(std::string("decoded-") + run.name + ".wav")};
        if (!RunFromAudio(settings, "demo", "the demo takes mono or stereo audio", paths, &reports[i], error) ||
            !SaveReport(reports[i], files->Add(std::string("report-") + run.name + ".json"), error))
            return false;
    }
    return true;
}

}  // namespace

bool RunDemo(const Options& o, std::string* error) {
    LossSettings loss = o.loss;
    if (loss.percent <= 0.0) loss.percent = kDemoLossPercent;
    loss.burst = kDemoBurst;
    if (!CheckBurstyLoss(loss.percent, loss.burst, error)) return false;
    DemoFiles files;
    files.folder = o.out_dir;
    Report reports[3];
    if (!MakeFolder(&files, error)) return false;
    if (!RunAll(o, loss, &files, reports, error)) {
        RemoveFiles(files);
        return false;
    }
    if (!o.quiet) PrintSummary(ToolOutput(), reports, o, loss);
    return true;
}
