// The list check's version for each instruction set (number_list_check.h
// says what they answer); check_number_list picks one.
#pragma once

#include <cstddef>

#include "support/instruction_set.h"

namespace ondravane {

#if ONDRAVANE_X86_SCANS
bool check_number_list_sse2(const char* open, const char* end, const char*& after, std::size_t& count);
bool check_number_list_avx2(const char* open, const char* end, const char*& after, std::size_t& count);
bool check_number_list_avx512(const char* open, const char* end, const char*& after, std::size_t& count);
#endif

}  // namespace ondravane
