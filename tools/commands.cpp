// encode, decode, roundtrip and info.
#include "commands.h"

#include "audio_output.h"
#include "console.h"
#include "fail.h"
#include "output_file.h"
#include "pipeline.h"
#include "report.h"

namespace {

constexpr char kChannelHint[] = "add --mono, --downmix or --channels A,B";

// Refuses unusable outputs, and two roles on one file, before any work is done.
bool CheckFiles(const std::string& input, const std::string& output, bool audio_output, const Options& o,
                std::string* error) {
    AudioType type;
    if (audio_output && !ChooseAudioType(output, o.type, &type, error)) return false;
    if (output == "-" && o.report_path == "-")
        return Fail(error, "the output and the report cannot both go to the standard output");
    return CheckDistinctFiles({{"input", input}, {"output", output}, {"report", o.report_path}}, error) &&
           CheckWritable(output, error) && (o.report_path.empty() || CheckWritable(o.report_path, error));
}

// An output or report named by a path to the standard output goes there as `-` does.
Options WithStandardOutputAsDash(Options o) {
    o.files[1] = StandardOutputAsDash(o.files[1]);
    o.report_path = StandardOutputAsDash(o.report_path);
    return o;
}

bool Finish(const Report& report, const Options& o, std::string* error) {
    if (!SaveReport(report, o.report_path, error)) return false;
    // Data on the standard output leaves the summary to stderr.
    const bool data_out = report.output == "-" || o.report_path == "-";
    if (!o.quiet) PrintReport(report, data_out ? stderr : ToolOutput());
    return true;
}

}  // namespace

bool RunEncode(const Options& given, std::string* error) {
    const Options o = WithStandardOutputAsDash(given);
    Report report;
    return CheckFiles(o.files[0], o.files[1], false, o, error) &&
           RunFromAudio(o, "encode", kChannelHint, {o.files[0], o.files[1], ""}, &report, error) &&
           Finish(report, o, error);
}

bool RunDecode(const Options& given, std::string* error) {
    const Options o = WithStandardOutputAsDash(given);
    Report report;
    return CheckFiles(o.files[0], o.files[1], true, o, error) &&
           RunFromPackets(o, {o.files[0], "", o.files[1]}, &report, error) && Finish(report, o, error);
}

bool RunRoundtrip(const Options& given, std::string* error) {
    const Options o = WithStandardOutputAsDash(given);
    Report report;
    return CheckFiles(o.files[0], o.files[1], true, o, error) &&
           RunFromAudio(o, "roundtrip", kChannelHint, {o.files[0], "", o.files[1]}, &report, error) &&
           Finish(report, o, error);
}

bool RunInfo(const Options& o, std::string* error) {
    Report report;
    if (!DescribePackets(o, o.files[0], ToolOutput(), &report, error)) return false;
    PrintReport(report, ToolOutput());
    return true;
}
