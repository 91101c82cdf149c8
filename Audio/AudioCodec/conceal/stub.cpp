// Temporary stand-in until concealment lands; delete when it does.
#include <cstring>
#include "conceal/conceal.h"
void ConcealFrames(int32_t*, const float*, const float*, int n, float* out) {
    std::memset(out, 0, sizeof(float) * 960 * n);
}
void ConcealFramesStereo(int32_t*, const float*, const float*, float* out0, const float*, const float*, float* out1,
                         int n) {
    std::memset(out0, 0, sizeof(float) * 960 * n);
    std::memset(out1, 0, sizeof(float) * 960 * n);
}
