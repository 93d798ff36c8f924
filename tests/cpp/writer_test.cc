// Writing word-vector files: the format, the output path's fate, and what
// a failure leaves in the file.
#include "in_memory_conversion.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "converter/output/output_file.h"
#include "support/failure.h"
#include "support/file_io.h"
#include "failure_of.h"

namespace ondravane {
namespace {

namespace fs = std::filesystem;

constexpr char kUnwrapPrefix[] = "called `Result::unwrap()` on an `Err` value: ";
constexpr char kMissingLayer[] = "index out of bounds: the len is 0 but the index is 0";

Feature feature(std::string token, std::vector<double> values, std::uint32_t index = 0) {
  return Feature{std::move(token), {Layer{index, std::move(values)}}};
}

Feature feature_without_layers(std::string token) { return Feature{std::move(token), {}}; }

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

void write_text(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

using test_support::failure_of;

class TempDir : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "writer_test_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }
  fs::path dir_;
};

class WriterPath : public TempDir {};
class WriterLayers : public TempDir {};
class WriterBuffering : public TempDir {};
class OutputFileTest : public TempDir {};

// ---------------------------------------------------------------------------
// File contents.

struct ContentCase {
  const char* name;
  ActivationList records;
  std::string expected;
  VectorOptions vectors = {};
};

void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.name; }

class WriterContent : public TempDir, public testing::WithParamInterface<ContentCase> {};

TEST_P(WriterContent, WritesExactBytes) {
  const fs::path out = dir_ / "out.txt";
  to_w2v(GetParam().records, out.string(), OutputCommit::kAsWritten, GetParam().vectors);
  EXPECT_EQ(read_all(out), GetParam().expected);
}

// Layers as the stock dumps number them, from the last: -1, -2, -3.
Feature stock(std::string token, std::vector<std::vector<double>> layers) {
  Feature made{std::move(token), {}};
  for (std::size_t k = 0; k < layers.size(); ++k) made.layers.push_back(Layer{-1 - static_cast<std::int64_t>(k), layers[k]});
  return made;
}

VectorOptions layers(std::vector<std::int64_t> indices, Combine combine = Combine::kMean) {
  return VectorOptions{VectorRecipe{LayerChoice{std::move(indices)}, combine}};
}

VectorOptions per_type(VectorOptions options = {}) {
  options.per_type = true;
  return options;
}

VectorOptions binary(VectorOptions options = {}) {
  options.format = VectorFormat::kBinary;
  return options;
}

// The little-endian bytes of 32-bit floats given by their bit patterns.
std::string float_bytes(std::initializer_list<std::uint32_t> patterns) {
  std::string bytes;
  for (std::uint32_t bits : patterns) {
    for (int b = 0; b < 4; ++b) bytes += static_cast<char>((bits >> (8 * b)) & 0xFF);
  }
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriterContent,
    testing::Values(
        ContentCase{"WorkedExample",
                    {Activation{0, {feature("dog", {0.5, -1.0}), feature("cat", {0.25, 2.0})}},
                     Activation{1, {feature("sat", {1e-7, 100.0})}}},
                    "3 2\ndog:0:0 0.5 -1\ncat:0:1 0.25 2\nsat:1:0 0.0000001 100\n"},
        ContentCase{"EmptyList", {}, "0 0\n"},
        ContentCase{"OnlyEmptyRecords", {Activation{0, {}}, Activation{7, {}}}, "0 0\n"},
        ContentCase{"DimensionFromFirstNonEmptyRecordLengthsUnchecked",
                    {Activation{0, {}},
                     Activation{4, {feature("a", {1, 2, 3}), feature("b", {4})}},
                     Activation{5, {feature("c", {5, 6, 7, 8, 9})}}},
                    "3 3\na:4:0 1 2 3\nb:4:1 4\nc:5:0 5 6 7 8 9\n"},
        ContentCase{"FirstListedLayerOnly",
                    {Activation{2, {Feature{"x", {Layer{5, {1.5, 2.5}}, Layer{0, {9, 9, 9}}}}}}},
                    "1 2\nx:2:0 1.5 2.5\n"},
        ContentCase{"EmptyValues",
                    {Activation{0, {feature("a", {}), feature("b", {1})}}},
                    "2 0\na:0:0 \nb:0:1 1\n"},
        ContentCase{"TokensCopiedUnchanged",
                    {Activation{3, {feature("new york", {1}), feature("a:b", {2}), feature("", {3}),
                                    feature("caf\xc3\xa9\t\"x\"", {4})}}},
                    "4 1\nnew york:3:0 1\na:b:3:1 2\n:3:2 3\ncaf\xc3\xa9\t\"x\":3:3 4\n"},
        ContentCase{"PositionRestartsPerRecordAndIdentifiersRepeat",
                    {Activation{1, {feature("a", {0}), feature("b", {0})}},
                     Activation{1, {feature("a", {0}), feature("b", {0})}}},
                    "4 1\na:1:0 0\nb:1:1 0\na:1:0 0\nb:1:1 0\n"},
        ContentCase{"SignedZeroTinyAndWholeValues",
                    {Activation{4294967295u, {feature("v", {-0.0, 0.0, 1e-7, 1.0, -1e21})}}},
                    "1 5\nv:4294967295:0 -0 0 0.0000001 1 -1000000000000000000000\n"},
        ContentCase{"LayerChosenByIndex",
                    {Activation{0, {stock("x", {{1, 2}, {3, 4}})}}},
                    "1 2\nx:0:0 3 4\n", layers({-2})},
        // 1e16 + 1 rounds back to 1e16 (a tie, to even), so the order of the
        // sum shows: 1e16 - 1e16 + 1 is 1, 1e16 + 1 - 1e16 is 0.
        ContentCase{"SumLeftToRightInTheOrderListed",
                    {Activation{0, {stock("x", {{1e16, -0.0}, {-1e16, -0.0}, {1, -0.0}})}}},
                    "1 2\nx:0:0 1 -0\n", layers({-1, -2, -3}, Combine::kSum)},
        ContentCase{"SumInAnotherOrder",
                    {Activation{0, {stock("x", {{1e16, -0.0}, {-1e16, -0.0}, {1, -0.0}})}}},
                    "1 2\nx:0:0 0 -0\n", layers({-1, -3, -2}, Combine::kSum)},
        ContentCase{"MeanDividesTheSumOnce",
                    {Activation{0, {stock("x", {{1, 2}, {2, 3}, {4, 4}})}}},
                    "1 2\nx:0:0 2.3333333333333335 3\n", layers({-1, -2, -3})},
        ContentCase{"ConcatInTheOrderListed",
                    {Activation{0, {stock("x", {{1, 2}, {3}})}}},
                    "1 3\nx:0:0 3 1 2\n", layers({-2, -1}, Combine::kConcat)},
        ContentCase{"OneVectorPerTypeInTheOrderFirstWritten",
                    {Activation{0, {feature("b", {1, -0.0}), feature("a", {3, 4})}},
                     Activation{1, {feature("b", {2, -0.0})}}},
                    "2 2\nb 1.5 -0\na 3 4\n", per_type()},
        // Ties between two floats go to the even one; beyond the largest
        // float is infinity, below half the smallest is zero.
        ContentCase{"BinaryLittleEndianFloatsRoundedToNearest",
                    {Activation{7, {feature("a b", {1.0, -0.0, 1 + 0x1p-24, 1 + 0x3p-24, 3.5e38, 1e-46})}}},
                    "1 6\na b:7:0 " +
                        float_bytes({0x3F800000, 0x80000000, 0x3F800000, 0x3F800002, 0x7F800000, 0x00000000}) + "\n",
                    binary()},
        ContentCase{"BinaryOneVectorPerType",
                    {Activation{0, {feature("t", {0.5}), feature("t", {1.5})}}},
                    "1 1\nt " + float_bytes({0x3F800000}) + "\n", binary(per_type())}),
    [](const testing::TestParamInfo<ContentCase>& info) { return std::string(info.param.name); });

TEST_F(WriterBuffering, LinesLongerThanTheBufferAndManyBufferFulls) {
  // One line of about 2 MB, then enough short lines to fill the buffer
  // several times over; whole values are written as plain integers.
  std::vector<double> wide;
  std::string wide_text;
  for (int i = 0; i < 300000; ++i) {
    wide.push_back(i);
    wide_text += (i == 0 ? "" : " ") + std::to_string(i);
  }
  ActivationList records{Activation{0, {feature("wide", wide)}}, Activation{1, {}}};
  std::string expected = "200001 300000\nwide:0:0 " + wide_text + "\n";
  for (int i = 0; i < 200000; ++i) {
    records[1].features.push_back(feature("t", {-0.5, static_cast<double>(i)}));
    expected += "t:1:" + std::to_string(i) + " -0.5 " + std::to_string(i) + "\n";
  }
  const fs::path out = dir_ / "big.txt";
  to_w2v(records, out.string());
  EXPECT_EQ(read_all(out), expected);
}

// ---------------------------------------------------------------------------
// Features without layers.

TEST_F(WriterLayers, FirstFeatureWithoutLayersLeavesEmptyFile) {
  const fs::path out = dir_ / "out.txt";
  write_text(out, "old contents\n");
  const ActivationList records{Activation{0, {}},
                               Activation{1, {feature_without_layers("a"), feature("b", {1})}}};
  EXPECT_EQ(failure_of([&] { to_w2v(records, out.string()); }), kMissingLayer);
  ASSERT_TRUE(fs::exists(out));
  EXPECT_EQ(read_all(out), "");
}

TEST_F(WriterLayers, LaterFeatureWithoutLayersKeepsEverythingBeforeIt) {
  const fs::path out = dir_ / "out.txt";
  const ActivationList records{
      Activation{0, {feature("a", {1, 2}), feature("b", {3, 4})}},
      Activation{1, {feature("c", {5}), feature_without_layers("d"), feature("e", {6})}}};
  EXPECT_EQ(failure_of([&] { to_w2v(records, out.string()); }), kMissingLayer);
  EXPECT_EQ(read_all(out), "5 2\na:0:0 1 2\nb:0:1 3 4\nc:1:0 5\n");
}

// Occurrences whose vector cannot be written fail when the writing reaches
// them, naming their line (here: record), token, sentence and position, and
// leave the complete lines before them.
struct UnwritableCase {
  const char* name;
  VectorOptions vectors;
  const char* failure;
  std::string left;
};

class WriterUnwritable : public TempDir, public testing::WithParamInterface<UnwritableCase> {};

TEST_P(WriterUnwritable, FailsThereNamingTheOccurrence) {
  const ActivationList records{
      Activation{5, {stock("a", {{1, 2}, {3, 4}, {5}}), stock("b", {{1, 2}, {3, 4}, {5}})}},
      Activation{6, {stock("a", {{1}, {3}})}},
      Activation{7, {stock("c", {{1, 2}}), stock("a", {{1, 2, 3}})}}};
  const fs::path out = dir_ / "out.txt";
  EXPECT_EQ(failure_of([&] { to_w2v(records, out.string(), OutputCommit::kAsWritten, GetParam().vectors); }),
            GetParam().failure);
  EXPECT_EQ(read_all(out), GetParam().left);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriterUnwritable,
    testing::Values(
        UnwritableCase{"MissingLayer", layers({-3, -1}, Combine::kConcat),
                       "line 2: the occurrence 'a' (sentence 6, position 0) has no layer with index -3",
                       "5 3\na:5:0 5 1 2\nb:5:1 5 1 2\n"},
        UnwritableCase{"LayerLengthsDiffer", layers({-1, -2, -3}, Combine::kSum),
                       "line 1: the occurrence 'a' (sentence 5, position 0) has layers of different lengths, which "
                       "cannot be summed: index -1 has 2, index -2 has 2, index -3 has 1 values",
                       ""},
        UnwritableCase{"BinaryVectorOfAnotherLength", binary(layers({-1})),
                       "line 2: the occurrence 'a' (sentence 6, position 0) has 1 values where the header says 2; "
                       "the binary format holds vectors of one length",
                       "5 2\na:5:0 " + float_bytes({0x3F800000, 0x40000000}) + "\nb:5:1 " +
                           float_bytes({0x3F800000, 0x40000000}) + "\n"},
        UnwritableCase{"TypeVectorOfAnotherLength", per_type(layers({-1})),
                       "line 2: the occurrence 'a' (sentence 6, position 0) has 1 values where its token's first "
                       "occurrence has 2; one vector a token is the mean of vectors of one length",
                       ""},
        UnwritableCase{"ConcatOfAnotherLengthInBinary", binary(layers({-2, -1}, Combine::kConcat)),
                       "line 2: the occurrence 'a' (sentence 6, position 0) has 2 values where the header says 4; "
                       "the binary format holds vectors of one length",
                       "5 4\na:5:0 " + float_bytes({0x40400000, 0x40800000, 0x3F800000, 0x40000000}) + "\nb:5:1 " +
                           float_bytes({0x40400000, 0x40800000, 0x3F800000, 0x40000000}) + "\n"}),
    [](const testing::TestParamInfo<UnwritableCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// What happens to the output path.

const ActivationList kSmall{Activation{0, {feature("a", {1})}}};
constexpr char kSmallText[] = "1 1\na:0:0 1\n";

TEST_F(WriterPath, ExistingFileIsRemovedNotOverwritten) {
  // A second hard link shows the old file survives: it was unlinked and a
  // new file created, not truncated in place.
  const fs::path out = dir_ / "out.txt";
  const fs::path other_name = dir_ / "other_name.txt";
  write_text(out, "a much longer previous content\n");
  fs::create_hard_link(out, other_name);
  to_w2v(kSmall, out.string());
  EXPECT_EQ(read_all(out), kSmallText);
  EXPECT_EQ(read_all(other_name), "a much longer previous content\n");
}

TEST_F(WriterPath, NewFileModeIs0666BeforeUmask) {
  const fs::path out = dir_ / "out.txt";
  const mode_t saved = ::umask(0);
  to_w2v(kSmall, out.string());
  ::umask(027);
  to_w2v(kSmall, (dir_ / "masked.txt").string());
  ::umask(saved);
  EXPECT_EQ(fs::status(out).permissions(), static_cast<fs::perms>(0666));
  EXPECT_EQ(fs::status(dir_ / "masked.txt").permissions(), static_cast<fs::perms>(0640));
}

TEST_F(WriterPath, LinkToFileIsReplacedAndTargetKept) {
  const fs::path target = dir_ / "target.txt";
  const fs::path link = dir_ / "link.txt";
  write_text(target, "target contents\n");
  fs::create_symlink(target, link);
  to_w2v(kSmall, link.string());
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(read_all(link), kSmallText);
  EXPECT_EQ(read_all(target), "target contents\n");
}

TEST_F(WriterPath, DanglingLinkCreatesItsTarget) {
  const fs::path target = dir_ / "target.txt";
  const fs::path link = dir_ / "link.txt";
  fs::create_symlink(target, link);
  to_w2v(kSmall, link.string());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_all(target), kSmallText);
}

TEST_F(WriterPath, DirectoryFailsAtRemovalAndStays) {
  const fs::path out = dir_ / "sub";
  fs::create_directory(out);
  write_text(out / "inside.txt", "kept\n");
  EXPECT_EQ(failure_of([&] { to_w2v(kSmall, out.string()); }),
            std::string(kUnwrapPrefix) +
                "Os { code: 21, kind: IsADirectory, message: \"Is a directory\" }");
  EXPECT_TRUE(fs::is_directory(out));
  EXPECT_EQ(read_all(out / "inside.txt"), "kept\n");
}

TEST_F(WriterPath, MissingDirectoryFailsAtOpen) {
  const fs::path out = dir_ / "missing" / "out.txt";
  EXPECT_EQ(failure_of([&] { to_w2v(kSmall, out.string()); }),
            std::string(kUnwrapPrefix) +
                "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }");
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(WriterPath, UnwritableDirectoryFailsAtRemoval) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  const fs::path out = dir_ / "out.txt";
  write_text(out, "old\n");
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(failure_of([&] { to_w2v(kSmall, out.string()); }),
            std::string(kUnwrapPrefix) +
                "Os { code: 13, kind: PermissionDenied, message: \"Permission denied\" }");
  fs::permissions(dir_, fs::perms::owner_all);
  EXPECT_EQ(read_all(out), "old\n");
}

TEST_F(WriterPath, NulInPathFailsAtOpenWithoutRemovingAnything) {
  // The part before the NUL names an existing file, which must survive.
  const fs::path existing = dir_ / "out.txt";
  write_text(existing, "old\n");
  std::string path = existing.string();
  path += '\0';
  path += "tail";
  EXPECT_EQ(failure_of([&] { to_w2v(kSmall, path); }),
            std::string(kUnwrapPrefix) +
                "Error { kind: InvalidInput, message: "
                "\"file name contained an unexpected NUL byte\" }");
  EXPECT_EQ(read_all(existing), "old\n");
}

TEST_F(WriterPath, FifoIsWrittenInPlace) {
  // The read end is held open without blocking, so the writer's open returns
  // at once and the short output waits in the pipe; were the FIFO replaced,
  // this read end would see nothing rather than hang the test.
  const fs::path fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int read_end = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(read_end, 0);
  to_w2v(kSmall, fifo.string());
  char chunk[256];
  const ssize_t n = ::read(read_end, chunk, sizeof chunk);
  ::close(read_end);
  EXPECT_EQ(std::string(chunk, n > 0 ? n : 0), kSmallText);
  struct stat status;
  ASSERT_EQ(::stat(fifo.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST_F(WriterPath, DeviceBehindLinkIsWrittenInPlace) {
  // Reaches /dev/full through a link of our own: should the device check
  // ever break, the removal takes the link, never the system's device.
  struct stat status;
  if (::stat("/dev/full", &status) != 0 || !S_ISCHR(status.st_mode)) {
    GTEST_SKIP() << "no /dev/full";
  }
  const fs::path link = dir_ / "full";
  fs::create_symlink("/dev/full", link);
  EXPECT_EQ(failure_of([&] { to_w2v(kSmall, link.string()); }),
            std::string(kUnwrapPrefix) +
                "Os { code: 28, kind: StorageFull, message: \"No space left on device\" }");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(link)));
}

// ---------------------------------------------------------------------------
// A write that fails part-way, provoked by a file-size limit.

struct SizeLimitCase {
  const char* name;
  rlim_t limit;
};

void PrintTo(const SizeLimitCase& c, std::ostream* os) { *os << c.name; }

class WriterSizeLimit : public TempDir, public testing::WithParamInterface<SizeLimitCase> {};

// Runs to_w2v in a child process under a file-size limit and returns the
// failure message it reported.
std::string write_under_limit(const ActivationList& records, const fs::path& out, rlim_t limit) {
  int channel[2];
  if (::pipe(channel) != 0) return "<no pipe>";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit file_size{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &file_size);
    const std::string message = failure_of([&] { to_w2v(records, out.string()); });
    [[maybe_unused]] ssize_t ignored = ::write(channel[1], message.data(), message.size());
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string message;
  char chunk[4096];
  for (ssize_t n; (n = ::read(channel[0], chunk, sizeof chunk)) > 0;) message.append(chunk, n);
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return message;
}

TEST_P(WriterSizeLimit, FailsWithFileTooLargeKeepingThePrefix) {
  ActivationList records{Activation{0, {}}};
  for (int i = 0; i < 150000; ++i) {
    records[0].features.push_back(feature("w", {0.1, -2.5, static_cast<double>(i)}));
  }

  const fs::path reference = dir_ / "reference.txt";
  to_w2v(records, reference.string());
  const std::string full = read_all(reference);
  ASSERT_GT(full.size(), 2 * OutputFile::kDefaultCapacity);

  const fs::path out = dir_ / "limited.txt";
  EXPECT_EQ(write_under_limit(records, out, GetParam().limit),
            std::string(kUnwrapPrefix) +
                "Os { code: 27, kind: FileTooLarge, message: \"File too large\" }");
  EXPECT_EQ(read_all(out), full.substr(0, GetParam().limit));
}

INSTANTIATE_TEST_SUITE_P(
    Limits, WriterSizeLimit,
    testing::Values(SizeLimitCase{"InsideHeader", 2}, SizeLimitCase{"InsideFirstBuffer", 1000},
                    SizeLimitCase{"InsideLaterBuffer", OutputFile::kDefaultCapacity * 3 / 2}),
    [](const testing::TestParamInfo<SizeLimitCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Descriptors of data files, with the standard streams closed.

// In a child with descriptors 0 to 2 closed, opens `path` and returns what
// went wrong: 0 nothing, 1 the file took a standard stream's number, 2 it is
// inherited by child processes, 3 a standard stream's number was left open.
int open_with_standard_streams_closed(const fs::path& path) {
  const pid_t child = ::fork();
  if (child == 0) {
    for (int fd = 0; fd <= 2; ++fd) ::close(fd);
    const UniqueFd file = open_or_fail(path.string(), O_RDONLY | O_CLOEXEC);
    if (file.get() <= 2) ::_exit(1);
    if ((::fcntl(file.get(), F_GETFD) & FD_CLOEXEC) == 0) ::_exit(2);
    for (int fd = 0; fd <= 2; ++fd) {
      if (::fcntl(fd, F_GETFD) != -1) ::_exit(3);
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(OutputFileTest, DataFilesNeverTakeAStandardStreamDescriptor) {
  const fs::path path = dir_ / "data.txt";
  std::ofstream(path) << "x";
  EXPECT_EQ(open_with_standard_streams_closed(path), 0);
}

// ---------------------------------------------------------------------------
// The buffered file itself.

TEST_F(OutputFileTest, PassesPiecesOfEverySizeThrough) {
  // A small buffer, filled by single bytes, reservations (some taking all
  // the room, two buffers' worth at this size) and pieces shorter than,
  // equal to and longer than it, in an order that leaves it at every fill
  // level.
  const fs::path path = dir_ / "pieces.txt";
  std::string expected;
  {
    OutputFile out(path.string(), OutputCommit::kAsWritten, OutputFile::kMinCapacity);
    // The buffer starts a page, as the offsets of whole buffers do: the
    // kernel's copy of a write is slow on some processors when they differ.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(out.reserve(1)) % 4096, 0u);
    int piece = 0;
    for (std::size_t size : {1u, 1023u, 1024u, 1025u, 5000u, 7u, 1024u, 3u, 4096u, 512u, 513u}) {
      std::string bytes(size, static_cast<char>('a' + piece++ % 26));
      out.append(bytes);
      expected += bytes;
      if (piece % 3 == 0) {
        const std::size_t all = out.room();
        std::fill_n(out.reserve(all), all, '=');
        out.commit(all);
        expected += std::string(all, '=');
      }
      out.append('|');
      expected += '|';
      EXPECT_GE(out.room(), OutputFile::kMinCapacity) << "after the piece of " << size;
      char* room = out.reserve(100);
      std::fill_n(room, 40, '#');
      out.commit(40);
      expected += std::string(40, '#');
    }
    out.flush();
  }
  EXPECT_EQ(read_all(path), expected);
}

std::atomic<int> signals_received{0};
void count_signal(int) { signals_received.fetch_add(1, std::memory_order_relaxed); }

TEST_F(OutputFileTest, ResumesInterruptedAndPartialWrites) {
  // Signals without SA_RESTART keep arriving while the writer is blocked on a
  // small pipe whose reader pauses now and then: a write blocked with nothing
  // transferred comes back interrupted, one blocked part-way comes back
  // short. Every byte must still arrive once, in order.
  const fs::path fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct sigaction action = {}, saved = {};
  action.sa_handler = count_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &saved), 0);

  std::string expected;
  for (int i = 0; expected.size() < 2 * OutputFile::kDefaultCapacity; ++i) {
    expected += std::to_string(i) + ' ';
  }
  // The read end is opened here, so that neither side can wait forever for
  // the other: the reader sees end of file once no writer is left.
  const int read_end = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(read_end, 0);
  ASSERT_EQ(::fcntl(read_end, F_SETFL, 0), 0);
  ASSERT_GT(::fcntl(read_end, F_SETPIPE_SZ, 4096), 0);
  std::string received;
  std::thread reader([&] {
    char chunk[4096];
    for (int reads = 0;; ++reads) {
      if (reads % 64 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
      const ssize_t n = ::read(read_end, chunk, sizeof chunk);
      if (n == 0) break;
      if (n > 0) received.append(chunk, n);
    }
    ::close(read_end);
  });
  std::atomic<bool> done{false};
  const pthread_t writer_thread = ::pthread_self();
  std::thread interrupter([&] {
    while (!done.load()) {
      ::pthread_kill(writer_thread, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });

  const std::string message = failure_of([&] {
    OutputFile out(fifo.string());
    out.append(expected);
    out.flush();
  });
  done = true;
  interrupter.join();
  reader.join();
  ::sigaction(SIGUSR1, &saved, nullptr);

  EXPECT_EQ(message, "<no failure>");
  EXPECT_GT(signals_received.load(), 0);
  EXPECT_TRUE(received == expected) << "received " << received.size() << " of "
                                    << expected.size() << " bytes";
}

}  // namespace
}  // namespace ondravane
