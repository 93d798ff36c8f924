// ondravane-converter: the conversion from a shell, with the same messages,
// progress bars and output files as the Python function.
#include <unistd.h>

#include <csignal>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/options.h"
#include "converter/pipeline.h"
#include "support/console.h"
#include "support/failure.h"
#include "support/file_io.h"
#include "support/version.h"

namespace {

constexpr char kUsage[] =
    "usage: ondravane-converter INPUT OUTPUT [--min N] [--keep N] [--seed N]\n"
    "       ondravane-converter --help | --version\n";

constexpr char kHelp[] =
    "\n"
    "Converts an activation file (one JSON record per line) into a word-vector\n"
    "text file holding the first-layer vector of every token occurrence.\n"
    "\n"
    "options:\n"
    "  --min N    drop every occurrence of a token that occurs fewer than N\n"
    "             times in the whole file (filtering runs only when given)\n"
    "  --keep N   thin tokens occurring more than N times: each occurrence\n"
    "             survives with probability N / count (default -1: no thinning)\n"
    "  --seed N   seed of the thinning generator (default 0)\n"
    "  --help     show this help and exit\n"
    "  --version  print the version and exit\n"
    "  --         treat every later argument as a path (for paths starting with -)\n"
    "\n"
    "Stage messages go to standard output, a progress bar to standard error when\n"
    "that is a terminal. Exit status: 0 on success, 1 when the conversion fails\n"
    "(the reason is printed on standard error), 2 for bad usage.\n";

}  // namespace

int main(int argc, char** argv) {
  using ondravane::cli::parse_options;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const auto parsed = parse_options(arguments);
  if (!parsed.options) {
    ondravane::write_all(2, std::string(kUsage) + "ondravane-converter: error: " + parsed.error + "\n");
    return 2;
  }
  const auto& options = *parsed.options;

  // A closed standard output is a failure with its message and status 1, as
  // it is for the Python function, not a silent death; so is a write past
  // the file-size limit, which fails with EFBIG once SIGXFSZ is ignored.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    if (options.show_help) {
      ondravane::print_line(std::string(kUsage) + kHelp);
    } else if (options.show_version) {
      ondravane::print_line(std::string(ondravane::kVersionText) + "\n");
    } else {
      ondravane::convert(options.input, options.output, options.conversion);
    }
  } catch (const ondravane::Failure& failure) {
    ondravane::write_all(2, "ondravane-converter: error: " + std::string(failure.what()) + "\n");
    return 1;
  } catch (const std::bad_alloc&) {
    ondravane::write_all(2, "ondravane-converter: error: out of memory\n");
    return 1;
  } catch (const std::exception& error) {
    ondravane::write_all(2, "ondravane-converter: error: " + std::string(error.what()) + "\n");
    return 1;
  }
  return 0;
}
