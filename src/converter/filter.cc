// PLACEHOLDER until the filter lands.
#include "converter/filter.h"
#include "support/failure.h"
namespace ondravane {
ActivationList filter(std::span<const Activation>, std::int64_t, std::int64_t, std::uint64_t) { fail("filter not built yet"); }
ActivationList filter(ActivationList&&, std::int64_t, std::int64_t, std::uint64_t) { fail("filter not built yet"); }
}  // namespace ondravane
