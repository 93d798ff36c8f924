#include "support/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>

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

TEST(SystemError, UnwrapFailureCarriesFixedPrefix) {
  try {
    fail_unwrap(describe_invalid_utf8());
    FAIL() << "fail_unwrap returned";
  } catch (const Failure& failure) {
    ASSERT_TRUE(failure.message().has_value());
    EXPECT_EQ(*failure.message(),
              "called `Result::unwrap()` on an `Err` value: Error { kind: InvalidData, message: "
              "\"stream did not contain valid UTF-8\" }");
  }
}

}  // namespace
}  // namespace ondravane
