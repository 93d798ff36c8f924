// Pieces read by their offsets: which are taken from the bytes the last read
// brought, and which are read anew, from the file as it is then.
#include "converter/input/piece_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace ondravane {
namespace {

// A file of `size` bytes, each of them `fill`, removed with the object.
class TemporaryFile {
 public:
  TemporaryFile(std::size_t size, char fill) {
    fd_ = ::mkstemp(path_.data());
    EXPECT_GE(fd_, 0);
    rewrite(std::string(size, fill));
  }
  ~TemporaryFile() {
    ::close(fd_);
    ::unlink(path_.c_str());
  }
  int fd() const { return fd_; }
  void rewrite(const std::string& bytes) {
    EXPECT_EQ(::pwrite(fd_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  }

 private:
  std::string path_ = "/tmp/piece_reader_testXXXXXX";
  int fd_ = -1;
};

struct LaterRead {
  const char* what;
  std::uint64_t offset;
  std::uint64_t length;
  bool from_held_bytes;
};

class PieceReaderTest : public testing::TestWithParam<LaterRead> {};

// The file is rewritten after a first read of bytes 100 to 300, so a piece
// taken from the held bytes still reads as the old file, and one read anew
// as the new.
TEST_P(PieceReaderTest, PiecesWithinTheLastReadComeFromItsBytes) {
  const LaterRead later = GetParam();
  TemporaryFile file(1000, 'a');
  PieceReader pieces(file.fd());
  ASSERT_EQ(pieces.read(100, 200), std::string(200, 'a'));
  file.rewrite(std::string(1000, 'b'));
  EXPECT_EQ(pieces.read(later.offset, later.length), std::string(later.length, later.from_held_bytes ? 'a' : 'b'));
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PieceReaderTest,
    testing::Values(LaterRead{"same", 100, 200, true}, LaterRead{"inside", 150, 50, true},
                    LaterRead{"last_bytes", 250, 50, true}, LaterRead{"first_byte", 100, 1, true},
                    LaterRead{"past_the_end", 250, 51, false}, LaterRead{"before_the_start", 99, 50, false},
                    LaterRead{"around", 50, 400, false}, LaterRead{"after", 300, 10, false}),
    [](const testing::TestParamInfo<LaterRead>& info) { return std::string(info.param.what); });

// A read that fails leaves nothing held: it overwrote part of the buffer
// (here with the e's).
TEST(PieceReader, AReadPastTheFileEndLeavesNothingHeld) {
  TemporaryFile file(1000, 'a');
  PieceReader pieces(file.fd());
  ASSERT_EQ(pieces.read(0, 300), std::string(300, 'a'));
  file.rewrite(std::string(900, 'b') + std::string(100, 'e'));
  EXPECT_EQ(pieces.read(900, 200), std::nullopt);
  EXPECT_EQ(pieces.read(0, 100), std::string(100, 'b'));
}

// Another file, or the buffer given back, holds none of the bytes read.
TEST(PieceReader, AnotherFileOrAReleasedBufferHoldsNothing) {
  TemporaryFile first(1000, 'a');
  TemporaryFile second(1000, 'c');
  PieceReader pieces(first.fd());
  ASSERT_EQ(pieces.read(0, 300), std::string(300, 'a'));
  pieces.use_fd(second.fd());
  EXPECT_EQ(pieces.read(0, 100), std::string(100, 'c'));
  first.rewrite(std::string(1000, 'b'));
  pieces.use_fd(first.fd());
  ASSERT_EQ(pieces.read(0, 300), std::string(300, 'b'));
  first.rewrite(std::string(1000, 'd'));
  pieces.release_beyond(100);
  EXPECT_EQ(pieces.read(0, 100), std::string(100, 'd'));
}

}  // namespace
}  // namespace ondravane
