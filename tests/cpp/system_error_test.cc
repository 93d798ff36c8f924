// The texts of system errors.
#include "support/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string_view>

#include "support/failure.h"

namespace ondravane {
namespace {

TEST(SystemError, DescribesNumberKindAndText) {
  EXPECT_EQ(describe_os_error(ENOENT),
            "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }");
  EXPECT_EQ(describe_os_error(EISDIR), "Os { code: 21, kind: IsADirectory, message: \"Is a directory\" }");
  EXPECT_EQ(error_kind_name(EFBIG), "FileTooLarge");
  EXPECT_EQ(error_kind_name(12345), "Uncategorized");
}

// The failure names the code that raised it, not the helper that built it:
// the front ends report that place.
TEST(SystemError, UnwrapFailureCarriesFixedPrefixAndCallersLocation) {
  const int raising_line = __LINE__ + 2;
  try {
    fail_unwrap(describe_invalid_utf8());
    FAIL() << "fail_unwrap returned";
  } catch (const Failure& failure) {
    ASSERT_TRUE(failure.message().has_value());
    EXPECT_EQ(*failure.message(),
              "called `Result::unwrap()` on an `Err` value: Error { kind: InvalidData, message: "
              "\"stream did not contain valid UTF-8\" }");
    EXPECT_EQ(std::string_view(failure.where().file_name()), std::string_view(__FILE__));
    EXPECT_EQ(failure.where().line(), static_cast<unsigned>(raising_line));
  }
}

}  // namespace
}  // namespace ondravane
