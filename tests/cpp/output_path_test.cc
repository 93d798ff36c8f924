// What becomes of whatever the output path names, written as it goes and
// written beside it to replace it once complete: the same rules either way,
// and the second never shows an incomplete file or leaves one behind.
#include "converter/output/output_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "failure_of.h"

namespace ondravane {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A path set up in `dir`, and what the path and its surroundings look like
// once "new\n" is written there.
struct PathCase {
  const char* name;
  std::function<fs::path(const fs::path& dir)> set_up;
  // Empty when the output works; otherwise the failure's description.
  std::string failure;
  std::function<void(const fs::path& dir, const fs::path& path)> check_written;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

void write_file(const fs::path& path, const std::string& content) { std::ofstream(path) << content; }

void expect_regular(const fs::path& path, const std::string& content) {
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << path;
  EXPECT_EQ(read_all(path), content) << path;
}

const PathCase kCases[] = {
    {"NothingThere", [](const fs::path& dir) { return dir / "out.txt"; }, "",
     [](const fs::path&, const fs::path& path) { expect_regular(path, "new\n"); }},
    {"ExistingFile",
     [](const fs::path& dir) {
       write_file(dir / "out.txt", "old\n");
       return dir / "out.txt";
     },
     "", [](const fs::path&, const fs::path& path) { expect_regular(path, "new\n"); }},
    {"LinkToFile",
     [](const fs::path& dir) {
       write_file(dir / "target.txt", "old\n");
       fs::create_symlink("target.txt", dir / "link");
       return dir / "link";
     },
     "",
     [](const fs::path& dir, const fs::path& path) {
       expect_regular(path, "new\n");
       expect_regular(dir / "target.txt", "old\n");
     }},
    {"DanglingLink",
     [](const fs::path& dir) {
       fs::create_directory(dir / "sub");
       fs::create_symlink("sub/made.txt", dir / "link");
       return dir / "link";
     },
     "",
     [](const fs::path& dir, const fs::path& path) {
       EXPECT_TRUE(fs::is_symlink(path));
       expect_regular(dir / "sub" / "made.txt", "new\n");
     }},
    {"LinkToFolder",
     [](const fs::path& dir) {
       fs::create_directory(dir / "folder");
       fs::create_symlink("folder", dir / "link");
       return dir / "link";
     },
     "",
     [](const fs::path& dir, const fs::path& path) {
       expect_regular(path, "new\n");
       EXPECT_TRUE(fs::is_empty(dir / "folder"));
     }},
    {"Folder",
     [](const fs::path& dir) {
       fs::create_directory(dir / "folder");
       return dir / "folder";
     },
     "Os { code: 21, kind: IsADirectory, message: \"Is a directory\" }", nullptr},
    {"MissingFolder", [](const fs::path& dir) { return dir / "no" / "out.txt"; },
     "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }", nullptr},
};

// A case, how the output is written, and whether a new file written beside
// it may be unnamed until complete (else it is named, as on file systems
// without unnamed files).
class OutputPathTest : public testing::TestWithParam<std::tuple<PathCase, OutputCommit, bool>> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/output_path_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_P(OutputPathTest, WritesWhereThePathLeads) {
  const auto& [c, commit, unnamed] = GetParam();
  const fs::path path = c.set_up(dir_);
  const std::vector<std::string> before = listing(dir_);
  std::string failure = "<no failure>";
  try {
    OutputTarget target(path.string(), commit, unnamed);
    ASSERT_EQ(::write(target.fd(), "new\n", 4), 4);
    if (commit == OutputCommit::kWhenComplete && unnamed) {
      // Nothing shows before the file is complete.
      EXPECT_EQ(listing(dir_), before);
    }
    target.commit();
  } catch (const Failure& caught) {
    failure = caught.what();
  }
  if (!c.failure.empty()) {
    EXPECT_EQ(failure, "called `Result::unwrap()` on an `Err` value: " + c.failure);
    EXPECT_EQ(listing(dir_), before);
    return;
  }
  EXPECT_EQ(failure, "<no failure>");
  c.check_written(dir_, path);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OutputPathTest,
    testing::Combine(testing::ValuesIn(kCases),
                     testing::Values(OutputCommit::kAsWritten, OutputCommit::kWhenComplete),
                     testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) == OutputCommit::kAsWritten ? "AsWritten" : "WhenComplete") +
             (std::get<2>(info.param) ? "" : "Named");
    });

std::vector<PathCase> working_cases() {
  std::vector<PathCase> cases;
  std::copy_if(std::begin(kCases), std::end(kCases), std::back_inserter(cases),
               [](const PathCase& c) { return c.failure.empty(); });
  return cases;
}

// What a path leads to, as far as a test can tell.
std::string state_of(const fs::path& path) {
  if (fs::is_symlink(path)) return "link to " + fs::read_symlink(path).string();
  if (fs::is_regular_file(path)) return "file " + read_all(path);
  return fs::exists(path) ? "other" : "nothing";
}

class IncompleteOutputTest : public OutputPathTest {};

// A conversion that fails or is abandoned before it completes leaves what
// was there, and nothing beside it.
TEST_P(IncompleteOutputTest, IsNeverLinkedIn) {
  const auto& [c, commit, unnamed] = GetParam();
  const fs::path path = c.set_up(dir_);
  const std::vector<std::string> before = listing(dir_);
  const std::string state = state_of(path);
  {
    OutputTarget target(path.string(), commit, unnamed);
    ASSERT_EQ(::write(target.fd(), "new\n", 4), 4);
  }
  EXPECT_EQ(listing(dir_), before);
  EXPECT_EQ(state_of(path), state);
}

INSTANTIATE_TEST_SUITE_P(Paths, IncompleteOutputTest,
                         testing::Combine(testing::ValuesIn(working_cases()),
                                          testing::Values(OutputCommit::kWhenComplete), testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + (std::get<2>(info.param) ? "" : "Named");
                         });

class OwnDescriptorTest : public testing::TestWithParam<OutputCommit> {};

// A link of our own to one of the process's descriptors, as /dev/stdout is:
// the output goes through that descriptor, in order with what else is
// written there, and the link and the file behind it stay.
TEST_P(OwnDescriptorTest, IsWrittenThroughInPlace) {
  char pattern[] = "/tmp/output_path_test.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path dir = pattern;
  const fs::path file = dir / "behind.txt";
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "before\n", 7), 7);
  for (const std::string& target : {"/proc/self/fd/" + std::to_string(fd), "/dev/fd/" + std::to_string(fd)}) {
    const fs::path link = dir / "link";
    fs::remove(link);
    fs::create_symlink(target, link);
    {
      OutputTarget output(link.string(), GetParam());
      ASSERT_EQ(::write(output.fd(), "output\n", 7), 7);
      output.commit();
    }
    ASSERT_EQ(::write(fd, "after\n", 6), 6);
    EXPECT_TRUE(fs::is_symlink(link)) << target;
  }
  ::close(fd);
  EXPECT_EQ(read_all(file), "before\noutput\nafter\noutput\nafter\n");
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Commits, OwnDescriptorTest,
                         testing::Values(OutputCommit::kAsWritten, OutputCommit::kWhenComplete));

TEST(OutputPathMode, NewFilesFollowTheUmask) {
  char pattern[] = "/tmp/output_path_test.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path dir = pattern;
  for (const OutputCommit commit : {OutputCommit::kAsWritten, OutputCommit::kWhenComplete}) {
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
      const mode_t previous = ::umask(mask);
      const fs::path path = dir / "out.txt";
      write_file(path, "old\n");
      ::chmod(path.c_str(), 0600);
      {
        OutputTarget target(path.string(), commit);
        target.commit();
      }
      ::umask(previous);
      struct stat status;
      ASSERT_EQ(::stat(path.c_str(), &status), 0);
      EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace ondravane
