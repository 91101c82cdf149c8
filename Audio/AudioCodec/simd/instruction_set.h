// The instruction sets the lane kernels are compiled for. The baseline runs
// on every processor the library builds for; AVX2 is used only where the
// processor has it. Every set gives the same bits: the kernels do the same
// float operations in the same order, only more lanes at a time.
#pragma once

enum class InstructionSet { kBaseline, kAvx2 };

// The set the kernels run with: the widest this processor has, found on
// first use (once per process).
InstructionSet ActiveInstructionSet();
// For test and benchmark harnesses only: runs the kernels with `set` from
// now on; a set the processor lacks falls back to the baseline.
void ForceInstructionSet(InstructionSet set);
