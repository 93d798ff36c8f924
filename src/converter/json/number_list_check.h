// The check of a whole list of numbers at once, for the lists of values
// that make up nearly all of an activation file: 64 bytes at a time, every
// rule of the grammar applied to all of them together as bit masks, instead
// of one number after another.
#pragma once

#include <cstddef>

namespace ondravane {

// At `open`, a '[' within [open, end): whether the list it starts is one the
// checking walk accepts, proved for the common shapes only. On true, `after`
// is just past the closing ']' and `count` the numbers in the list. False
// means "not proved" and nothing more: spaces other than after '[' or ',',
// tabs, a '+', an exponent without '-', a run of 64 digits, anything else
// unusual, as well as every error, are left to the walk one number at a
// time, which then gives the answer and, for an error, its reason.
bool check_number_list(const char* open, const char* end, const char*& after, std::size_t& count);

}  // namespace ondravane
