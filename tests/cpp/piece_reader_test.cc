// Pieces read by their offsets: which are taken from the bytes the last read
// brought, and which are read anew, from the file as it is then.
#include "converter/input/piece_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

namespace ondravane {
namespace {

// An unnamed file of 1000 bytes, all `fill`, that rewrite() replaces.
struct ScratchFile {
  explicit ScratchFile(char fill) { rewrite(std::string(1000, fill)); }
  void rewrite(const std::string& bytes) const {
    ASSERT_EQ(::pwrite(fd(), bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  }
  int fd() const { return fileno(file.get()); }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{std::tmpfile(), &std::fclose};
};

struct LaterRead {
  const char* what;
  std::uint64_t offset, length;
  bool from_held_bytes;
};

class PieceReaderTest : public testing::TestWithParam<LaterRead> {};

// Bytes 100 to 300 read, then the file rewritten: a piece taken from the
// held bytes reads as the old file, one read anew as the new.
TEST_P(PieceReaderTest, PiecesWithinTheLastReadComeFromItsBytes) {
  const LaterRead later = GetParam();
  const ScratchFile file('a');
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

// Nothing is held after a read past the file's end (it overwrote part of
// the buffer, here with e's), on another file, or once the buffer is given
// back.
TEST(PieceReader, NothingIsHeldAfterAFailedReadAnotherFileOrARelease) {
  const ScratchFile file('a');
  const ScratchFile other('c');
  PieceReader pieces(file.fd());
  ASSERT_EQ(pieces.read(0, 300), std::string(300, 'a'));
  file.rewrite(std::string(900, 'b') + std::string(100, 'e'));
  EXPECT_EQ(pieces.read(900, 200), std::nullopt);
  EXPECT_EQ(pieces.read(0, 100), std::string(100, 'b'));
  pieces.use_fd(other.fd());
  EXPECT_EQ(pieces.read(0, 100), std::string(100, 'c'));
  pieces.use_fd(file.fd());
  ASSERT_EQ(pieces.read(0, 300), std::string(300, 'b'));
  file.rewrite(std::string(1000, 'd'));
  pieces.release_beyond(100);
  EXPECT_EQ(pieces.read(0, 100), std::string(100, 'd'));
}

}  // namespace
}  // namespace ondravane
