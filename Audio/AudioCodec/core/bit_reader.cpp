#include "core/bit_reader.h"

#include "core/clear_bytes.h"

void CopyFrameWords(const uint8_t* frame, int byte_count, uint8_t* copy) {
    ClearBytes<kFrameCopyBytes>(copy);
    if (byte_count > 0) {
        std::memcpy(copy, frame, static_cast<size_t>(byte_count));
        if (byte_count % 2 == 1) copy[byte_count] = frame[byte_count - 1];
    }
    // Each word's high byte first: the order in which its bits are sent.
    for (int i = 0; i < byte_count; i += 2) {
        const uint8_t low = copy[i];
        copy[i] = copy[i + 1];
        copy[i + 1] = low;
    }
}
