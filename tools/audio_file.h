// Reading and writing audio files of any format that libsndfile knows.
#pragma once
#include <string>

#include "audio.h"

bool ReadAudio(const std::string& path, Audio* audio, std::string* error);
// Writes 16-bit audio in the container named by the extension
// (.wav, .flac, .ogg, .aiff); the output is Vorbis for .ogg.
bool WriteAudio(const std::string& path, const Audio& audio, std::string* error);
// The same check of the extension, for failing before the work starts.
bool CheckAudioExtension(const std::string& path, std::string* error);
