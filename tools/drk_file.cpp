#include "drk_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "fail.h"
#include "output_file.h"

namespace {

constexpr uint32_t kMaxSourceRate = 768000;

void PutLittleEndian(std::string* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

uint64_t GetLittleEndian(const std::string& in, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
    return value;
}

bool ValidCopyMask(uint64_t mask, int* copies) {
    for (int r = 0; r <= kMaxCopies; ++r)
        if (mask == CopyMask(r)) {
            *copies = r;
            return true;
        }
    return false;
}

bool CheckHeader(const std::string& data, Stream* s, uint64_t* packets, std::string* why) {
    if (data.empty()) return Fail(why, "the file is empty");
    if (data.size() < 4 || std::memcmp(data.data(), kDrkMagic, 4) != 0)
        return Fail(why, "not a DremkoCodec packet file (wrong magic)");
    if (data.size() < kDrkHeaderBytes) return Fail(why, "truncated (the header is incomplete)");
    const uint64_t version = GetLittleEndian(data, 4, 1);
    if (version != kDrkVersion)
        return Fail(why, "format version " + std::to_string(version) + " is not supported (this tool reads version " +
                             std::to_string(kDrkVersion) + ")");
    s->channels = static_cast<int>(GetLittleEndian(data, 5, 1));
    if (s->channels != 1 && s->channels != 2)
        return Fail(why, "unsupported channel count " + std::to_string(s->channels));
    const uint64_t mask = GetLittleEndian(data, 6, 1);
    if (!ValidCopyMask(mask, &s->copies)) return Fail(why, "unsupported copy mask " + std::to_string(mask));
    if (GetLittleEndian(data, 7, 1) != 0) return Fail(why, "damaged header (reserved byte is not 0)");
    const uint64_t rate = GetLittleEndian(data, 8, 4);
    if (rate < kMinBitRate || rate > kMaxBitRate)
        return Fail(why, "unsupported bit rate " + std::to_string(rate) + " bit/s per channel");
    s->bit_rate = static_cast<int>(rate);
    s->source_rate = static_cast<uint32_t>(GetLittleEndian(data, 12, 4));
    if (s->source_rate == 0 || s->source_rate > kMaxSourceRate)
        return Fail(why, "implausible original sample rate " + std::to_string(s->source_rate) + " Hz");
    s->source_frames = GetLittleEndian(data, 16, 8);
    *packets = GetLittleEndian(data, 24, 4);
    const uint64_t expected = PacketsFor(CodecFrames(s->source_frames, s->source_rate));
    if (s->source_frames == 0 || *packets != expected)
        return Fail(why, "damaged header (" + std::to_string(*packets) + " packets for " +
                             std::to_string(s->source_frames) + " sample frames)");
    return true;
}

bool ReadPackets(const std::string& data, uint64_t count, Stream* s, std::string* why) {
    const size_t bytes = static_cast<size_t>(PacketBytes(*s));
    size_t at = kDrkHeaderBytes;
    s->packets.clear();
    for (uint64_t k = 0; k < count; ++k) {
        const std::string which = "packet " + std::to_string(k + 1) + " of " + std::to_string(count);
        if (data.size() - at < kDrkRecordHeaderBytes) return Fail(why, "truncated (" + which + " is missing)");
        const uint64_t length = GetLittleEndian(data, at, 2);
        Packet p;
        p.speech = static_cast<uint8_t>(data[at + 2]);
        p.level = static_cast<uint8_t>(data[at + 3]);
        at += kDrkRecordHeaderBytes;
        if (length != bytes)
            return Fail(why, which + " has " + std::to_string(length) + " bytes, expected " + std::to_string(bytes));
        if (p.speech > 1 || p.level > 254 || p.level % 2 != 0)
            return Fail(why, which + " has a bad speech flag or level");
        if (data.size() - at < bytes) return Fail(why, "truncated (" + which + " is incomplete)");
        p.bytes.assign(data.begin() + at, data.begin() + at + bytes);
        s->packets.push_back(std::move(p));
        at += bytes;
    }
    if (at != data.size()) return Fail(why, std::to_string(data.size() - at) + " stray bytes after the last packet");
    return true;
}

}  // namespace

bool WriteDrk(const std::string& path, const Stream& s, std::string* error) {
    std::string out(kDrkMagic, 4);
    PutLittleEndian(&out, kDrkVersion, 1);
    PutLittleEndian(&out, s.channels, 1);
    PutLittleEndian(&out, CopyMask(s.copies), 1);
    PutLittleEndian(&out, 0, 1);
    PutLittleEndian(&out, s.bit_rate, 4);
    PutLittleEndian(&out, s.source_rate, 4);
    PutLittleEndian(&out, s.source_frames, 8);
    PutLittleEndian(&out, s.packets.size(), 4);
    for (const Packet& p : s.packets) {
        PutLittleEndian(&out, p.bytes.size(), 2);
        PutLittleEndian(&out, p.speech, 1);
        PutLittleEndian(&out, p.level, 1);
        out.append(p.bytes.begin(), p.bytes.end());
    }
    return WriteWholeFile(path, out, error);
}

bool ReadDrk(const std::string& path, Stream* stream, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(error, "cannot read " + path + ": " + std::strerror(errno));
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    uint64_t packets = 0;
    std::string why;
    if (CheckHeader(data, stream, &packets, &why) && ReadPackets(data, packets, stream, &why)) return true;
    *error = path + ": " + why;
    return false;
}
