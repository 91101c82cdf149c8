#include "drk_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "fail.h"

namespace {

constexpr uint32_t kMaxSourceRate = 768000;
constexpr uint64_t kLengthAtEnd = 0xffffffff;  // packet count of a file that ends with its length

void PutLittleEndian(std::string* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

uint64_t GetLittleEndian(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
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

bool CheckLength(uint64_t packets, uint64_t source_frames, uint32_t source_rate, std::string* why) {
    if (source_frames != 0 && packets == PacketsFor(CodecFrames(source_frames, source_rate))) return true;
    return Fail(why, "damaged header (" + std::to_string(packets) + " packets for " + std::to_string(source_frames) +
                         " sample frames)");
}

bool CheckHeader(const uint8_t* data, size_t size, DrkReader* r, std::string* why) {
    StreamInfo& s = r->info;
    if (size == 0) return Fail(why, "the file is empty");
    if (size < 4 || std::memcmp(data, kDrkMagic, 4) != 0) return Fail(why, "not a DremkoCodec packet file (wrong magic)");
    if (size < kDrkHeaderBytes) return Fail(why, "truncated (the header is incomplete)");
    const uint64_t version = data[4];
    if (version != kDrkVersion)
        return Fail(why, "format version " + std::to_string(version) + " is not supported (this tool reads version " +
                             std::to_string(kDrkVersion) + ")");
    s.channels = data[5];
    if (s.channels != 1 && s.channels != 2) return Fail(why, "unsupported channel count " + std::to_string(s.channels));
    if (!ValidCopyMask(data[6], &s.copies)) return Fail(why, "unsupported copy mask " + std::to_string(data[6]));
    if (data[7] != 0) return Fail(why, "damaged header (reserved byte is not 0)");
    const uint64_t rate = GetLittleEndian(data + 8, 4);
    if (rate < DREMKO_MIN_CHANNEL_RATE || rate > DREMKO_MAX_CHANNEL_RATE)
        return Fail(why, "unsupported bit rate " + std::to_string(rate) + " bit/s per channel");
    s.bit_rate = static_cast<int>(rate);
    s.source_rate = static_cast<uint32_t>(GetLittleEndian(data + 12, 4));
    if (s.source_rate == 0 || s.source_rate > kMaxSourceRate)
        return Fail(why, "implausible original sample rate " + std::to_string(s.source_rate) + " Hz");
    s.source_frames = GetLittleEndian(data + 16, 8);
    r->packets = GetLittleEndian(data + 24, 4);
    r->length_at_end = r->packets == kLengthAtEnd && s.source_frames == 0;
    return r->length_at_end || CheckLength(r->packets, s.source_frames, s.source_rate, why);
}

bool Faulty(DrkReader* r, const std::string& why, std::string* error) { return Fail(error, r->name + ": " + why); }

// Counts what follows the last packet; the stream must end there.
bool CheckEnd(DrkReader* r, std::string* error) {
    uint64_t stray = 0;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, r->file)) > 0) stray += got;
    if (stray) return Faulty(r, std::to_string(stray) + " stray bytes after the last packet", error);
    error->clear();
    return false;
}

// The length given after the last packet of a file written to a pipe.
bool ReadLength(DrkReader* r, std::string* error) {
    uint8_t field[8];
    if (std::fread(field, 1, 8, r->file) != 8) return Faulty(r, "truncated (the length after the packets is missing)", error);
    r->info.source_frames = GetLittleEndian(field, 8);
    std::string why;
    if (!CheckLength(r->read, r->info.source_frames, r->info.source_rate, &why)) return Faulty(r, why, error);
    return CheckEnd(r, error);
}

}  // namespace

bool OpenDrk(const std::string& name, DrkReader* r, std::string* error) {
    *r = DrkReader{};
    r->name = name == "-" ? "standard input" : name;
    struct stat info;
    if (name != "-" && stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Fail(error, "cannot read " + name + ": it is a folder");
    r->file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (!r->file) return Fail(error, "cannot read " + name + ": " + std::strerror(errno));
    uint8_t header[kDrkHeaderBytes];
    const size_t got = std::fread(header, 1, sizeof header, r->file);
    std::string why;
    if (CheckHeader(header, got, r, &why)) return true;
    CloseDrk(r);
    return Faulty(r, why, error);
}

bool ReadDrkPacket(DrkReader* r, Packet* p, std::string* error) {
    error->clear();
    if (!r->length_at_end && r->read == r->packets) return CheckEnd(r, error);
    const std::string which =
        "packet " + std::to_string(r->read + 1) + (r->length_at_end ? "" : " of " + std::to_string(r->packets));
    uint8_t record[kDrkRecordHeaderBytes];
    if (std::fread(record, 1, sizeof record, r->file) != sizeof record)
        return Faulty(r, std::ferror(r->file) ? std::string("cannot read: ") + std::strerror(errno)
                                              : "truncated (" + which + " is missing)",
                      error);
    const uint64_t length = GetLittleEndian(record, 2);
    if (r->length_at_end && length == 0 && record[2] == 0 && record[3] == 0) return ReadLength(r, error);
    const size_t bytes = static_cast<size_t>(PacketBytes(r->info));
    if (length != bytes)
        return Faulty(r, which + " has " + std::to_string(length) + " bytes, expected " + std::to_string(bytes), error);
    p->speech = record[2];
    p->level = record[3];
    if (p->speech > 1 || p->level > 254 || p->level % 2 != 0)
        return Faulty(r, which + " has a bad speech flag or level", error);
    p->bytes.resize(bytes);
    if (std::fread(p->bytes.data(), 1, bytes, r->file) != bytes)
        return Faulty(r, "truncated (" + which + " is incomplete)", error);
    ++r->read;
    return true;
}

void CloseDrk(DrkReader* r) {
    if (r->file && r->file != stdin) std::fclose(r->file);
    r->file = nullptr;
}

namespace {

std::string Header(const DrkWriter& w) {
    const bool known = !w.length_at_end;
    std::string out(kDrkMagic, 4);
    PutLittleEndian(&out, kDrkVersion, 1);
    PutLittleEndian(&out, w.info.channels, 1);
    PutLittleEndian(&out, CopyMask(w.info.copies), 1);
    PutLittleEndian(&out, 0, 1);
    PutLittleEndian(&out, w.info.bit_rate, 4);
    PutLittleEndian(&out, w.info.source_rate, 4);
    PutLittleEndian(&out, known ? w.info.source_frames : 0, 8);
    PutLittleEndian(&out, known ? w.written : kLengthAtEnd, 4);
    return out;
}

bool Put(DrkWriter* w, const std::string& bytes, std::string* error) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), w->out.file) == bytes.size()) return true;
    Fail(error, "cannot write " + w->out.name + ": " + std::strerror(errno));
    AbandonDrk(w);
    return false;
}

}  // namespace

bool CreateDrk(const std::string& name, const StreamInfo& info, bool length_at_end, DrkWriter* w,
               std::string* error) {
    w->info = info;
    w->written = 0;
    if (!OpenOutput(name, &w->out, error)) return false;
    w->length_at_end = length_at_end || !w->out.seekable;
    return Put(w, Header(*w), error);
}

bool WriteDrkPacket(DrkWriter* w, const Packet& p, std::string* error) {
    std::string record;
    PutLittleEndian(&record, p.bytes.size(), 2);
    PutLittleEndian(&record, p.speech, 1);
    PutLittleEndian(&record, p.level, 1);
    record.append(p.bytes.begin(), p.bytes.end());
    ++w->written;
    return Put(w, record, error);
}

bool FinishDrk(DrkWriter* w, uint64_t source_frames, std::string* error) {
    w->info.source_frames = source_frames;
    if (w->length_at_end) {
        std::string end(kDrkRecordHeaderBytes, '\0');
        PutLittleEndian(&end, source_frames, 8);
        if (!Put(w, end, error)) return false;
    } else if (std::fseek(w->out.file, 0, SEEK_SET) != 0) {
        Fail(error, "cannot write " + w->out.name + ": " + std::strerror(errno));
        AbandonDrk(w);
        return false;
    } else if (!Put(w, Header(*w), error)) {
        return false;
    }
    return CommitOutput(&w->out, error);
}

void AbandonDrk(DrkWriter* w) { AbandonOutput(&w->out); }

bool WriteDrk(const std::string& name, const Stream& s, std::string* error) {
    DrkWriter w;
    if (!CreateDrk(name, s, s.length_at_end, &w, error)) return false;
    for (const Packet& p : s.packets)
        if (!WriteDrkPacket(&w, p, error)) return false;
    return FinishDrk(&w, s.source_frames, error);
}

bool ReadDrk(const std::string& name, Stream* s, std::string* error) {
    DrkReader r;
    if (!OpenDrk(name, &r, error)) return false;
    s->packets.clear();
    Packet p;
    while (ReadDrkPacket(&r, &p, error)) s->packets.push_back(p);
    CloseDrk(&r);
    static_cast<StreamInfo&>(*s) = r.info;
    s->length_at_end = r.length_at_end;
    return error->empty();
}
