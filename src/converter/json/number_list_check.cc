// The list check in the version of the instruction set in use: all of them
// prove the same lists, the wider ones in fewer instructions.
#include "converter/json/number_list_check.h"

#include "converter/json/number_list_check_versions.h"
#include "support/instruction_set.h"

namespace ondravane {

bool check_number_list(const char* open, const char* end, const char*& after, std::size_t& count) {
#if ONDRAVANE_X86_SCANS
  switch (active_instruction_set()) {
    case InstructionSet::kSse2: return check_number_list_sse2(open, end, after, count);
    case InstructionSet::kAvx2: return check_number_list_avx2(open, end, after, count);
    case InstructionSet::kAvx512: return check_number_list_avx512(open, end, after, count);
  }
#endif
  // Elsewhere every list is left to the walk.
  return false;
}

}  // namespace ondravane
