// The steps that the commands and the demo share: bringing an input to the
// codec's format, decoding through loss, and writing results.
#pragma once
#include <string>
#include <vector>

#include "codec.h"
#include "loss.h"
#include "report.h"
#include "stream.h"

// Reads an audio file and brings it to 48 kHz 16-bit with `channels`
// channels (0 keeps a mono or stereo input as it is). Sets the stream's
// channel count and original rate and length.
bool LoadInput(const std::string& path, int channels, std::vector<int16_t>* pcm, Stream* stream, std::string* error);
// Describes 48 kHz 16-bit audio as the original of a stream.
void SetSource(const std::vector<int16_t>& pcm, int channels, Stream* stream);
// Decodes the stream through the loss and writes the audio to `output` (at
// 48 kHz, or at the original's rate and length); `report` describes the run
// of `command` from `input`, and `decoded` keeps the samples.
bool DecodeToFile(const std::string& command, const std::string& input, const Stream& stream, const LossSettings& loss,
                  const std::string& output, bool original_rate, Decoded* decoded, Report* report, std::string* error);
// Writes the report as JSON when a path is given.
bool SaveReport(const Report& report, const std::string& path, std::string* error);
