#include "resample.h"

#include "fail.h"

bool StartResampler(int from_rate, int to_rate, int channels, Resampler* r, std::string* error) {
    StopResampler(r);
    r->channels = channels;
    r->ratio = static_cast<double>(to_rate) / from_rate;
    if (from_rate == to_rate) return true;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t failed = nullptr;
    r->soxr = soxr_create(from_rate, to_rate, channels, &failed, &io, &quality, nullptr);
    if (!failed) return true;
    r->soxr = nullptr;
    return Fail(error, std::string("cannot convert the sample rate: ") + failed);
}

bool Resample(Resampler* r, const float* in, size_t frames, bool last, std::vector<float>* out, std::string* error) {
    if (!r->soxr) {
        out->insert(out->end(), in, in + frames * r->channels);
        return true;
    }
    const size_t room = static_cast<size_t>(frames * r->ratio) + 256;
    r->scratch.resize(room * r->channels);
    size_t done = 0;
    // Input goes in until used up; then, at the end, empty calls drain what the converter holds.
    for (;;) {
        size_t used = 0;
        size_t produced = 0;
        const bool draining = done == frames;
        if (draining && !last) return true;
        const soxr_error_t failed = soxr_process(r->soxr, draining ? nullptr : in + done * r->channels,
                                                 frames - done, &used, r->scratch.data(), room, &produced);
        if (failed) return Fail(error, std::string("cannot convert the sample rate: ") + failed);
        done += used;
        out->insert(out->end(), r->scratch.begin(), r->scratch.begin() + produced * r->channels);
        if (draining && produced == 0) return true;
    }
}

void StopResampler(Resampler* r) {
    if (r->soxr) soxr_delete(r->soxr);
    r->soxr = nullptr;
}
