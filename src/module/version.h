#pragma once

namespace ondravane {

inline constexpr char kPackageName[] = "ondravane_converter";
// ONDRAVANE_VERSION comes from the build (project() in CMakeLists.txt).
inline constexpr char kVersion[] = ONDRAVANE_VERSION;
// What version() returns: the package name, one blank, the version.
inline constexpr char kVersionText[] = "ondravane_converter " ONDRAVANE_VERSION;

}  // namespace ondravane
