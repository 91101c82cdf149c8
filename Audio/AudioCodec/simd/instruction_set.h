// The instruction sets the lane kernels are compiled for. The baseline runs
// on every processor the library builds for; AVX2 and AVX-512 are used only
// where the processor has them. Every set gives the same bits: the kernels do
// the same float operations in the same order, only more lanes at a time.
#pragma once

// kAvx512 stands for AVX-512 F, VL, DQ and BW together.
enum class InstructionSet { kBaseline, kAvx2, kAvx512 };

// The set the kernels run with: the widest this processor has, found on
// first use (once per process).
InstructionSet ActiveInstructionSet();
// For test and benchmark harnesses only: runs the kernels with `set` from
// now on; a set the processor lacks falls back to the baseline.
void ForceInstructionSet(InstructionSet set);

// The sets' names for harnesses: "baseline", "avx2" and "avx512".
const char* InstructionSetName(InstructionSet set);
// The set called `name`; false if no set has that name.
bool InstructionSetNamed(const char* name, InstructionSet* set);
