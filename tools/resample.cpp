#include "resample.h"

#include <soxr.h>

bool Resample(const Audio& in, int rate, uint64_t frames, Audio* out, std::string* error) {
    out->rate = rate;
    out->channels = in.channels;
    if (in.rate == rate) {
        out->samples = in.samples;
        out->samples.resize(frames * in.channels, 0.0f);
        return true;
    }
    // Room for the converter's rounding of the length; the surplus is cut.
    out->samples.assign((frames + 16) * in.channels, 0.0f);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    size_t produced = 0;
    const soxr_error_t failed = soxr_oneshot(in.rate, rate, in.channels, in.samples.data(), FrameCount(in), nullptr,
                                             out->samples.data(), frames + 16, &produced, &io, &quality, nullptr);
    if (failed) {
        *error = std::string("cannot convert the sample rate: ") + failed;
        return false;
    }
    out->samples.resize(frames * in.channels, 0.0f);
    return true;
}
