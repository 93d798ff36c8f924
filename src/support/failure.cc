// Raising a failure.
#include "support/failure.h"

namespace ondravane {

void fail(std::string message, std::source_location where) { throw Failure(std::move(message), where); }

}  // namespace ondravane
