#include "simd/instruction_set.h"

#include <cstring>

namespace {

#define DREMKO_SET_ENTRY(set, stem, name, unused) {InstructionSet::set, name},
constexpr struct {
    InstructionSet set;
    const char* name;
} kSets[] = {DREMKO_INSTRUCTION_SETS(DREMKO_SET_ENTRY, unused)};
#undef DREMKO_SET_ENTRY

InstructionSet Widest() {
    InstructionSet widest = InstructionSet::kPlain;
    for (const auto& entry : kSets)
        if (InstructionSetSupported(entry.set)) widest = entry.set;
    return widest;
}

// Initialised once, by the first caller; later calls only read the guard.
InstructionSet& Active() {
    static InstructionSet active = Widest();
    return active;
}

}  // namespace

bool InstructionSetSupported(InstructionSet set) {
#if defined(DREMKO_KERNELS_X86) && defined(__GNUC__)
    switch (set) {
        case InstructionSet::kAvx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("fma");
        case InstructionSet::kAvx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        case InstructionSet::kPlain:
            return true;
    }
    return false;
#else
    // Advanced SIMD is part of every AArch64 processor.
    (void)set;
    return true;
#endif
}

InstructionSet ActiveInstructionSet() { return Active(); }

bool ForceInstructionSet(InstructionSet set) {
    if (!InstructionSetSupported(set)) return false;
    Active() = set;
    return true;
}

const char* InstructionSetName(InstructionSet set) {
    for (const auto& entry : kSets)
        if (entry.set == set) return entry.name;
    return "plain";
}

bool InstructionSetNamed(const char* name, InstructionSet* set) {
    for (const auto& entry : kSets)
        if (std::strcmp(name, entry.name) == 0) {
            *set = entry.set;
            return true;
        }
    return false;
}
