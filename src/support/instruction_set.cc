// Which instruction sets the processor runs, read once with cpuid and
// xgetbv rather than through a compiler's runtime, so that gcc's and
// clang's builds (whose runtimes differ) decide alike.
#include "support/instruction_set.h"

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>

#if ONDRAVANE_X86_SCANS
#include <cpuid.h>
#endif

namespace ondravane {

namespace {

struct Support {
  bool sse2 = false;
  bool avx2 = false;
  bool avx512 = false;
};

#if ONDRAVANE_X86_SCANS

constexpr bool has(std::uint32_t reg, int bit) { return ((reg >> bit) & 1) != 0; }

// The register state the operating system saves on a context switch; an
// instruction whose registers it does not save faults even where the
// processor has it.
std::uint64_t saved_register_state() {
  std::uint32_t low;
  std::uint32_t high;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (std::uint64_t{high} << 32) | low;
}

Support detect() {
  Support support;
  support.sse2 = true;  // the build's own baseline
  std::uint32_t eax, ebx, ecx, edx;
  if (__get_cpuid_max(0, nullptr) < 7) return support;
  __cpuid(1, eax, ebx, ecx, edx);
  // OSXSAVE (the OS lets xgetbv read the saved state), AVX and POPCNT.
  if (!has(ecx, 27) || !has(ecx, 28) || !has(ecx, 23)) return support;
  const std::uint64_t state = saved_register_state();
  constexpr std::uint64_t kVectorState = 0x6;                  // XMM and the upper YMM halves
  constexpr std::uint64_t kAvx512State = 0xE0 | kVectorState;  // opmasks, ZMM halves, ZMM16-31
  // AVX2 and BMI1; then AVX-512F and AVX-512BW.
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  support.avx2 = (state & kVectorState) == kVectorState && has(ebx, 5) && has(ebx, 3);
  support.avx512 = support.avx2 && (state & kAvx512State) == kAvx512State && has(ebx, 16) && has(ebx, 30);
  return support;
}

#else

Support detect() { return {}; }

#endif

const Support& support() {
  static const Support detected = detect();
  return detected;
}

InstructionSet widest_supported() {
  if (support().avx512) return InstructionSet::kAvx512;
  if (support().avx2) return InstructionSet::kAvx2;
  return InstructionSet::kSse2;
}

// Read once per scan of a list or a text, far from any inner loop.
std::atomic<InstructionSet>& active() {
  static std::atomic<InstructionSet> set{widest_supported()};
  return set;
}

}  // namespace

const char* instruction_set_name(InstructionSet set) {
  switch (set) {
    case InstructionSet::kSse2: return "sse2";
    case InstructionSet::kAvx2: return "avx2";
    case InstructionSet::kAvx512: return "avx512";
  }
  return "unknown";
}

bool instruction_set_supported(InstructionSet set) {
  switch (set) {
    case InstructionSet::kSse2: return support().sse2;
    case InstructionSet::kAvx2: return support().avx2;
    case InstructionSet::kAvx512: return support().avx512;
  }
  return false;
}

InstructionSet active_instruction_set() { return active().load(std::memory_order_relaxed); }

ForcedInstructionSet::ForcedInstructionSet(InstructionSet set) : previous_(active_instruction_set()) {
  if (!instruction_set_supported(set)) {
    throw std::invalid_argument(std::string("this processor cannot run the ") + instruction_set_name(set) +
                                " scans");
  }
  active().store(set, std::memory_order_relaxed);
}

ForcedInstructionSet::~ForcedInstructionSet() { active().store(previous_, std::memory_order_relaxed); }

}  // namespace ondravane
