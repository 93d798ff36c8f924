#pragma once

namespace ondravane {

inline constexpr char kPackageName[] = "ondravane_converter";
inline constexpr char kVersion[] = "0.3.7";
// What version() returns: the package name, one blank, the version.
inline constexpr char kVersionText[] = "ondravane_converter 0.3.7";

}  // namespace ondravane
