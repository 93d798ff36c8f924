// Writes records as a word-vector text file: a header "<total> <dimension>",
// then "<token>:<sentence>:<position> v1 v2 ..." per occurrence.
#pragma once

#include <span>
#include <string_view>

#include "converter/records.h"

namespace ondravane {

void to_w2v(std::span<const Activation> activations, std::string_view path);

}  // namespace ondravane
