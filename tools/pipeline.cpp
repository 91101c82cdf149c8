#include "pipeline.h"

#include "audio_file.h"
#include "fail.h"
#include "output_file.h"
#include "resample.h"

bool LoadInput(const std::string& path, int channels, std::vector<int16_t>* pcm, Stream* stream, std::string* error) {
    Audio audio;
    if (!ReadAudio(path, &audio, error)) return false;
    if (audio.channels > 2 && channels != 1)
        return Fail(error,
                    path + " has " + std::to_string(audio.channels) + " channels; add --mono to mix them down to one");
    ConvertChannels(&audio, channels ? channels : audio.channels);
    stream->channels = audio.channels;
    stream->source_rate = static_cast<uint32_t>(audio.rate);
    stream->source_frames = FrameCount(audio);
    Audio converted;
    if (!Resample(audio, kSampleRate, CodecFrames(stream->source_frames, stream->source_rate), &converted, error))
        return false;
    *pcm = ToPcm16(converted.samples);
    return true;
}

void SetSource(const std::vector<int16_t>& pcm, int channels, Stream* stream) {
    stream->channels = channels;
    stream->source_rate = kSampleRate;
    stream->source_frames = pcm.size() / channels;
}

namespace {

bool SaveDecoded(const std::string& path, const Decoded& decoded, const Stream& stream, bool original_rate,
                 std::string* error) {
    Audio audio;
    audio.rate = kSampleRate;
    audio.channels = stream.channels;
    audio.samples = FromPcm16(decoded.pcm);
    if (!original_rate || stream.source_rate == kSampleRate) return WriteAudio(path, audio, error);
    Audio restored;
    return Resample(audio, static_cast<int>(stream.source_rate), stream.source_frames, &restored, error) &&
           WriteAudio(path, restored, error);
}

}  // namespace

bool DecodeToFile(const std::string& command, const std::string& input, const Stream& stream, const LossSettings& loss,
                  const std::string& output, bool original_rate, Decoded* decoded, Report* report, std::string* error) {
    std::vector<bool> lost;
    if (!MakeLossPattern(loss, stream.packets.size(), &lost, error)) return false;
    DecodeStream(stream, lost, decoded);
    if (!SaveDecoded(output, *decoded, stream, original_rate, error)) return false;
    *report = DescribeStream(command, stream);
    report->input = input;
    report->output = output;
    AddDecoding(lost, *decoded, report);
    return true;
}

bool SaveReport(const Report& report, const std::string& path, std::string* error) {
    return path.empty() || WriteWholeFile(path, ReportJson(report), error);
}
