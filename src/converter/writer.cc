// PLACEHOLDER until the writer lands.
#include "converter/writer.h"
#include "support/failure.h"
namespace ondravane {
void to_w2v(std::span<const Activation>, std::string_view) { fail("writer not built yet"); }
}  // namespace ondravane
