// The lane kernels: every body, compiled once per instruction set by the set
// files beside this list and run by the kernel tests against the plain set.
// A new kernel is its body's file (opening with DREMKO_KERNEL_ENTRY) and its
// line here. Each set file includes this list under its own set's macros, so
// it has no include guard.
#include "core/region_powers.inc"
#include "simd/gain.inc"
#include "speech/decimator_filter.inc"
#include "speech/real_fft256.inc"
#include "stereo/band_powers.inc"
#include "transform/dct4.inc"
#include "transform/fft480.inc"
#include "transform/mdct.inc"
