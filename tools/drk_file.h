// The .drk packet file (docs/format.md), read and written one packet at a
// time: a header that configures the decoder, then every packet with its
// length and the encoder's speech flag and level. Written to a pipe, where
// the header cannot be filled in afterwards, the file gives the original's
// length after the last packet instead.
#pragma once
#include <cstdio>
#include <string>

#include "output_file.h"
#include "stream.h"

constexpr char kDrkMagic[4] = {'D', 'R', 'M', 'K'};
constexpr int kDrkVersion = 1;
constexpr int kDrkHeaderBytes = 28;
constexpr int kDrkRecordHeaderBytes = 4;

struct DrkReader {
    std::string name;
    FILE* file = nullptr;
    StreamInfo info;  // source_frames is known at the start only when !length_at_end
    bool length_at_end = false;
    uint64_t packets = 0;  // from the header, when the length is there
    uint64_t read = 0;
};

// `-` reads the standard input. Checks the header; a bad file gives one line in `error`.
bool OpenDrk(const std::string& name, DrkReader* reader, std::string* error);
// The next packet, checked. False at the end of the stream (with `error`
// empty) or on a fault (with `error` set).
bool ReadDrkPacket(DrkReader* reader, Packet* packet, std::string* error);
void CloseDrk(DrkReader* reader);

struct DrkWriter {
    OutputFile out;
    StreamInfo info;
    bool length_at_end = false;
    uint64_t written = 0;
};

// `info.source_frames` may still be unknown; FinishDrk gives it.
bool CreateDrk(const std::string& name, const StreamInfo& info, bool length_at_end, DrkWriter* writer,
               std::string* error);
bool WriteDrkPacket(DrkWriter* writer, const Packet& packet, std::string* error);
bool FinishDrk(DrkWriter* writer, uint64_t source_frames, std::string* error);
void AbandonDrk(DrkWriter* writer);

// Whole files at once, for small streams.
bool WriteDrk(const std::string& name, const Stream& stream, std::string* error);
bool ReadDrk(const std::string& name, Stream* stream, std::string* error);
