// encode, decode, roundtrip and info.
#include "commands.h"

#include <cstdio>

#include "audio_file.h"
#include "codec.h"
#include "drk_file.h"
#include "output_file.h"
#include "pipeline.h"
#include "report.h"

namespace {

// Refuses unusable outputs before any work is done.
bool CheckOutputs(const std::string& audio_output, const std::string& other_output, const Options& o,
                  std::string* error) {
    if (!audio_output.empty() && !(CheckAudioExtension(audio_output, error) && CheckWritable(audio_output, error)))
        return false;
    if (!other_output.empty() && !CheckWritable(other_output, error)) return false;
    return o.report_path.empty() || CheckWritable(o.report_path, error);
}

bool Finish(Report* report, const Options& o, std::string* error) {
    if (!SaveReport(*report, o.report_path, error)) return false;
    PrintReport(*report, stdout);
    return true;
}

bool EncodeInput(const Options& o, std::vector<int16_t>* pcm, Stream* stream, std::string* error) {
    stream->bit_rate = o.bit_rate;
    stream->copies = o.copies;
    if (!LoadInput(o.files[0], o.channels, pcm, stream, error)) return false;
    EncodeStream(*pcm, stream);
    return true;
}

}  // namespace

bool RunEncode(const Options& o, std::string* error) {
    const std::string& out = o.files[1];
    if (!CheckOutputs("", out, o, error)) return false;
    std::vector<int16_t> pcm;
    Stream stream;
    if (!EncodeInput(o, &pcm, &stream, error) || !WriteDrk(out, stream, error)) return false;
    Report report = DescribeStream("encode", stream);
    report.input = o.files[0];
    report.output = out;
    return Finish(&report, o, error);
}

bool RunDecode(const Options& o, std::string* error) {
    const std::string& out = o.files[1];
    if (!CheckOutputs(out, "", o, error)) return false;
    Stream stream;
    Decoded decoded;
    Report report;
    return ReadDrk(o.files[0], &stream, error) &&
           DecodeToFile("decode", o.files[0], stream, o.loss, out, o.original_rate, &decoded, &report, error) &&
           Finish(&report, o, error);
}

bool RunRoundtrip(const Options& o, std::string* error) {
    const std::string& out = o.files[1];
    if (!CheckOutputs(out, "", o, error)) return false;
    std::vector<int16_t> pcm;
    Stream stream;
    Decoded decoded;
    Report report;
    if (!EncodeInput(o, &pcm, &stream, error) ||
        !DecodeToFile("roundtrip", o.files[0], stream, o.loss, out, o.original_rate, &decoded, &report, error))
        return false;
    AddQuality(pcm, decoded, &report);
    return Finish(&report, o, error);
}

bool RunInfo(const Options& o, std::string* error) {
    Stream stream;
    if (!ReadDrk(o.files[0], &stream, error)) return false;
    Report report = DescribeStream("info", stream);
    report.input = o.files[0];
    PrintReport(report, stdout);
    return true;
}
