// The choice of instruction set: what the processor is found to support,
// the default, and the scoped override the tests of every version rely on.
#include "support/instruction_set.h"

#include <gtest/gtest.h>

namespace ondravane {
namespace {

#if ONDRAVANE_X86_SCANS

// The compiler's runtime reads the same features its own way (and accounts
// for the registers the operating system saves): a wrong cpuid bit or state
// mask here would quietly keep a processor on a narrower version.
TEST(InstructionSet, SupportAgreesWithTheCompilersOwnDetection) {
  __builtin_cpu_init();
  EXPECT_TRUE(instruction_set_supported(InstructionSet::kSse2));
  EXPECT_EQ(instruction_set_supported(InstructionSet::kAvx2),
            __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt"));
  EXPECT_EQ(instruction_set_supported(InstructionSet::kAvx512),
            instruction_set_supported(InstructionSet::kAvx2) && __builtin_cpu_supports("avx512f") &&
                __builtin_cpu_supports("avx512bw"));
}

#endif

TEST(InstructionSet, TheWidestSupportedIsUsedUnlessForced) {
  InstructionSet widest = InstructionSet::kSse2;
  for (InstructionSet set : kInstructionSets) {
    if (instruction_set_supported(set)) widest = set;
  }
  EXPECT_EQ(active_instruction_set(), widest);
  for (InstructionSet outer : kInstructionSets) {
    if (!instruction_set_supported(outer)) continue;
    const ForcedInstructionSet forced(outer);
    for (InstructionSet inner : kInstructionSets) {
      if (!instruction_set_supported(inner)) continue;
      {
        const ForcedInstructionSet nested(inner);
        EXPECT_EQ(active_instruction_set(), inner);
      }
      EXPECT_EQ(active_instruction_set(), outer) << "after " << instruction_set_name(inner);
    }
  }
  EXPECT_EQ(active_instruction_set(), widest);
}

}  // namespace
}  // namespace ondravane
