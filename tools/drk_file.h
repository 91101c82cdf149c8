// The .drk packet file: a header that configures the decoder, then every
// packet with its length and the encoder's speech flag and level.
#pragma once
#include <string>

#include "stream.h"

constexpr char kDrkMagic[4] = {'D', 'R', 'M', 'K'};
constexpr int kDrkVersion = 1;
constexpr int kDrkHeaderBytes = 28;
constexpr int kDrkRecordHeaderBytes = 4;

bool WriteDrk(const std::string& path, const Stream& stream, std::string* error);
// Checks every field and packet; a bad file gives one line in `error`.
bool ReadDrk(const std::string& path, Stream* stream, std::string* error);
