#include "audio.h"

#include "fail.h"

bool CodedChannels(const ChannelChoice& choice, int input_channels, const std::string& name, const std::string& hint,
                   int* channels, std::string* error) {
    const int picked = (choice.picks[0] > 0) + (choice.picks[1] > 0);
    for (int p : choice.picks)
        if (p > input_channels)
            return Fail(error, name + " has " + std::to_string(input_channels) + " channels; --channels names channel " +
                                   std::to_string(p));
    const int available = picked ? picked : input_channels;
    if (choice.count) {
        *channels = choice.count;
    } else if (available <= 2) {
        *channels = available;
    } else if (choice.downmix) {
        *channels = 2;
    } else {
        return Fail(error, name + " has " + std::to_string(input_channels) + " channels; " + hint);
    }
    if (*channels == 2 && available > 2 && !choice.downmix)
        return Fail(error, name + " has " + std::to_string(input_channels) + " channels; " + hint);
    return true;
}

void MapChannels(const ChannelChoice& choice, int input_channels, int channels, const float* in, size_t frames,
                 std::vector<float>* out) {
    out->resize(frames * channels);
    const int picked = (choice.picks[0] > 0) + (choice.picks[1] > 0);
    for (size_t f = 0; f < frames; ++f) {
        const float* from = in + f * input_channels;
        float* to = out->data() + f * channels;
        if (picked) {
            // The picked channels, then as if they were the whole input.
            float chosen[2] = {from[choice.picks[0] - 1], from[choice.picks[picked - 1] - 1]};
            if (channels == 1 && picked == 2) to[0] = static_cast<float>((double(chosen[0]) + chosen[1]) / 2.0);
            else for (int c = 0; c < channels; ++c) to[c] = chosen[c % picked];
            continue;
        }
        if (channels == 1) {
            double sum = 0.0;
            for (int c = 0; c < input_channels; ++c) sum += from[c];
            to[0] = static_cast<float>(sum / input_channels);
        } else if (input_channels <= 2) {
            to[0] = from[0];
            to[1] = from[input_channels - 1];  // mono is copied to both sides
        } else {
            // The first two channels are left and right; every further
            // channel is shared equally by both sides.
            double shared = 0.0;
            for (int c = 2; c < input_channels; ++c) shared += from[c];
            to[0] = static_cast<float>((from[0] + shared) / (input_channels - 1));
            to[1] = static_cast<float>((from[1] + shared) / (input_channels - 1));
        }
    }
}
