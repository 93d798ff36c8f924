// The instruction sets the byte scans have versions for, which of them this
// processor runs, and the one the scans use. SSE2, the baseline, runs on
// every x86 processor the converter is built for (32-bit ones included);
// the wider sets are chosen at run time from the processor's own features,
// so one build serves every machine. The versions differ in how many bytes
// they classify at once, never in what they decide: each is the same proof
// over the same bit masks. Tests and benchmarks force each set in turn.
#pragma once

// Where the scans have their x86 versions: there SSE2 is the baseline of
// the whole build, and the wider sets are reached through per-function
// target attributes, never the build's own flags.
#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define ONDRAVANE_X86_SCANS 1
#else
#define ONDRAVANE_X86_SCANS 0
#endif

namespace ondravane {

// Ordered from the narrowest to the widest.
enum class InstructionSet {
  kSse2,
  kAvx2,    // with BMI1 and POPCNT, which every AVX2 processor has
  kAvx512,  // AVX-512BW, with the above
};

inline constexpr InstructionSet kInstructionSets[] = {InstructionSet::kSse2, InstructionSet::kAvx2,
                                                      InstructionSet::kAvx512};

// "sse2", "avx2", "avx512".
const char* instruction_set_name(InstructionSet set);

// Whether the processor has the set's instructions and the operating system
// saves their registers: false for every set off x86.
bool instruction_set_supported(InstructionSet set);

// The set the scans use: the widest one supported, unless forced.
InstructionSet active_instruction_set();

// For the duration of a scope, makes every scan, on every thread, use `set`,
// which must be supported (std::invalid_argument otherwise). Meant for
// tests, benchmarks and fuzzers, which set it while no scan runs.
class ForcedInstructionSet {
 public:
  explicit ForcedInstructionSet(InstructionSet set);
  ~ForcedInstructionSet();
  ForcedInstructionSet(const ForcedInstructionSet&) = delete;
  ForcedInstructionSet& operator=(const ForcedInstructionSet&) = delete;

 private:
  InstructionSet previous_;
};

}  // namespace ondravane
