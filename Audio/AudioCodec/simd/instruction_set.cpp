#include "simd/instruction_set.h"

#include <cstring>

namespace {

bool Supported(InstructionSet set) {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    switch (set) {
        case InstructionSet::kAvx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
        case InstructionSet::kAvx2:
            return __builtin_cpu_supports("avx2");
        case InstructionSet::kBaseline:
            return true;
    }
    return false;
#else
    return set == InstructionSet::kBaseline;
#endif
}

InstructionSet Widest() {
    if (Supported(InstructionSet::kAvx512)) return InstructionSet::kAvx512;
    if (Supported(InstructionSet::kAvx2)) return InstructionSet::kAvx2;
    return InstructionSet::kBaseline;
}

constexpr InstructionSet kSets[] = {InstructionSet::kBaseline, InstructionSet::kAvx2, InstructionSet::kAvx512};

// Initialised once, by the first caller; later calls only read the guard.
InstructionSet& Active() {
    static InstructionSet active = Widest();
    return active;
}

}  // namespace

InstructionSet ActiveInstructionSet() { return Active(); }

void ForceInstructionSet(InstructionSet set) { Active() = Supported(set) ? set : InstructionSet::kBaseline; }

const char* InstructionSetName(InstructionSet set) {
    switch (set) {
        case InstructionSet::kAvx512:
            return "avx512";
        case InstructionSet::kAvx2:
            return "avx2";
        case InstructionSet::kBaseline:
            break;
    }
    return "baseline";
}

bool InstructionSetNamed(const char* name, InstructionSet* set) {
    for (InstructionSet candidate : kSets)
        if (std::strcmp(name, InstructionSetName(candidate)) == 0) {
            *set = candidate;
            return true;
        }
    return false;
}
