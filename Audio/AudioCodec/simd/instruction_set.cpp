#include "simd/instruction_set.h"

namespace {

InstructionSet Widest() {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    return __builtin_cpu_supports("avx2") ? InstructionSet::kAvx2 : InstructionSet::kBaseline;
#else
    return InstructionSet::kBaseline;
#endif
}

// Initialised once, by the first caller; later calls only read the guard.
InstructionSet& Active() {
    static InstructionSet active = Widest();
    return active;
}

}  // namespace

InstructionSet ActiveInstructionSet() { return Active(); }

void ForceInstructionSet(InstructionSet set) {
    Active() = set == InstructionSet::kAvx2 ? Widest() : InstructionSet::kBaseline;
}
