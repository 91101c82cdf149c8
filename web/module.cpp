// The sizes the JavaScript wrapper needs, taken from the public header so the
// packet layout stays defined in one place. These exports belong to the web
// module only; the native library keeps its eleven.
#include "dremko.h"

#define DREMKO_WEB_EXPORT extern "C" __attribute__((used, visibility("default")))

DREMKO_WEB_EXPORT int32_t DremkoWeb_FrameSamples(void) { return DREMKO_FRAME_SAMPLES; }
DREMKO_WEB_EXPORT int32_t DremkoWeb_MaxPacketBytes(void) { return DREMKO_MAX_PACKET_BYTES; }
DREMKO_WEB_EXPORT int32_t DremkoWeb_MaxDecodedFrames(void) { return DREMKO_MAX_DECODED_FRAMES; }
DREMKO_WEB_EXPORT int32_t DremkoWeb_PacketBytes(int32_t total_rate, int32_t stereo, int32_t copies) {
    return DREMKO_PACKET_BYTES(total_rate, stereo, copies);
}
