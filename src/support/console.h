// The conversion's own writer on standard output (file descriptor 1). It
// bypasses Python's sys.stdout on purpose: every stage message is one whole
// line, written under a process-wide lock, and on the descriptor when the
// call returns.
#pragma once

#include <string_view>

namespace ondravane {

// Writes `line` (which ends in '\n') to file descriptor 1. A write that fails
// raises the failure "failed printing to stdout: <text> (os error <n>)".
void print_line(std::string_view line);

}  // namespace ondravane
