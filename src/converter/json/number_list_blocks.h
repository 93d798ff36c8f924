// The loop every version of the list check runs, written once: each block of
// 64 bytes classified by the version, proved, its numbers counted, until the
// list closes or a block cannot be proved.
//
// A version's file includes this inside its target region (#pragma GCC
// target), after number_list_proof.h and the standard headers, so that the
// loop, and the version's classification inlined into it, are compiled with
// the version's instructions and nothing shared is (a function compiled for
// AVX2 must never be the one copy of an inline function the baseline calls).
// Hence no include guard: it is included once, by each version's file.

namespace ondravane::number_list {
namespace {

// Version::classify(block) gives a block's ByteClasses; Version::count(bits)
// counts the bits of a mask.
template <class Version>
[[gnu::always_inline]] inline bool check_blocks(const char* open, const char* end, const char*& after,
                                                std::size_t& count) {
  ListProof proof;
  std::size_t numbers = 0;
  char padded[64];
  for (const char* p = open + 1; p < end; p += 64) {
    const BlockVerdict verdict = proof.next(Version::classify(block_at(p, end, padded)));
    if (verdict.unproved) return false;
    numbers += Version::count(verdict.number_starts);
    if (verdict.close != 0) {
      after = p + std::countr_zero(verdict.close) + 1;
      count = numbers;
      return true;
    }
  }
  return false;
}

}  // namespace
}  // namespace ondravane::number_list
