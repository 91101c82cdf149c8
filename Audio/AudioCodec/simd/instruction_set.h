// The instruction sets the lane kernels are compiled for on this target. The
// plain set is the kernels' C++ as the compiler builds it for the target's
// baseline (on x86-64 that includes SSE2; on AArch64 it is built without
// Advanced SIMD); wider sets run only where the processor has them. Every
// set gives the same bits: the kernels do the same float operations in the
// same order, only more lanes at a time.
#pragma once

// The sets of this target, the plain one first, each as X(enumerator,
// namespace stem, name) followed by the caller's extra arguments.
// DREMKO_PORTABLE builds the plain set alone, with no intrinsics anywhere.
#if defined(DREMKO_PORTABLE)
#define DREMKO_INSTRUCTION_SETS(X, ...) X(kPlain, plain, "plain", __VA_ARGS__)
#elif defined(__x86_64__) || defined(__i386__)
#define DREMKO_KERNELS_X86 1
#define DREMKO_INSTRUCTION_SETS(X, ...) \
    X(kPlain, plain, "plain", __VA_ARGS__) X(kAvx2, avx2, "avx2", __VA_ARGS__) X(kAvx512, avx512, "avx512", __VA_ARGS__)
#elif defined(__aarch64__)
#define DREMKO_KERNELS_ARM 1
#define DREMKO_INSTRUCTION_SETS(X, ...) X(kPlain, plain, "plain", __VA_ARGS__) X(kNeon, neon, "neon", __VA_ARGS__)
#else
#define DREMKO_INSTRUCTION_SETS(X, ...) X(kPlain, plain, "plain", __VA_ARGS__)
#endif

// SSE2 intrinsics in the subsystems' own loops, beside their plain C++.
#if defined(__SSE2__) && !defined(DREMKO_PORTABLE)
#define DREMKO_SSE2 1
#endif

#define DREMKO_SET_ENUMERATOR(set, stem, name, unused) set,
// kAvx2 stands for AVX2 with FMA, kAvx512 for AVX-512 F, VL, DQ and BW with FMA.
enum class InstructionSet { DREMKO_INSTRUCTION_SETS(DREMKO_SET_ENUMERATOR, unused) };
#undef DREMKO_SET_ENUMERATOR

// The set the kernels run with: the widest this processor has, found on
// first use (once per process).
InstructionSet ActiveInstructionSet();
// For test and benchmark harnesses only: whether this processor has `set`.
bool InstructionSetSupported(InstructionSet set);
// For test and benchmark harnesses only: runs the kernels with `set` from
// now on; false, changing nothing, where the processor lacks it.
bool ForceInstructionSet(InstructionSet set);

// The set's name, such as "plain", "avx2" or "neon".
const char* InstructionSetName(InstructionSet set);
// The set of this target called `name`; false if none is.
bool InstructionSetNamed(const char* name, InstructionSet* set);
