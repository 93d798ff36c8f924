// ondravane-converter: the conversion from a shell, with the same messages,
// progress bars and output files as the Python function.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/check_command.h"
#include "cli/decompression/compressed_input.h"
#include "cli/options.h"
#include "converter/check.h"
#include "converter/input/input_file.h"
#include "converter/output/new_file.h"
#include "converter/pipeline.h"
#include "support/console.h"
#include "support/failure.h"
#include "support/file_io.h"
#include "support/version.h"

namespace {

constexpr char kUsage[] =
    "usage: ondravane-converter INPUT OUTPUT [--min N] [--keep N] [--seed N] [--jobs N]\n"
    "                           [--layer I | --layers I,J,... [--combine mean|sum|concat]]\n"
    "                           [--per-type] [--format text|binary]\n"
    "       ondravane-converter check INPUT [--max-problems N] [--json] [--jobs N] [the same\n"
    "                           --layer, --layers, --combine, --per-type and --format]\n"
    "       ondravane-converter --help | --version\n";

constexpr char kHelp[] =
    "\n"
    "Converts an activation file (one JSON record per line) into a word-vector\n"
    "file: by default a text file holding the first-layer vector of every token\n"
    "occurrence. INPUT may be \"-\" for standard input (\"-- -\" names a file\n"
    "called \"-\"), and may be compressed: gzip and zstd data are read as such,\n"
    "whatever the name.\n"
    "\n"
    "options:\n"
    "  --min N    drop every occurrence of a token that occurs fewer than N\n"
    "             times in the whole file (filtering runs only when given)\n"
    "  --keep N   thin tokens occurring more than N times: each occurrence\n"
    "             survives with probability N / count (default -1: no thinning)\n"
    "  --seed N   seed of the thinning generator (default 0)\n"
    "  --jobs N, -j N\n"
    "             worker threads that check and format the input (default\n"
    "             and most: the processors this process may run on); every N\n"
    "             gives the same output, messages and failures as 1\n"
    "  --layer I  write the layer whose index is I instead of the first listed;\n"
    "             I may be negative (-4294967295 to 4294967295), as dumps that\n"
    "             number layers from the last write them (-1 is the last)\n"
    "  --layers I,J,...\n"
    "             combine these layers of each occurrence, in this order\n"
    "  --combine mean|sum|concat\n"
    "             how --layers combines them: the element-wise mean (default) or\n"
    "             sum in double precision, or their values one after another\n"
    "  --per-type one vector per token instead of one per occurrence: the mean of\n"
    "             its occurrences' vectors (after the filter), identified by the\n"
    "             token alone, in the order the tokens are first written\n"
    "  --format text|binary\n"
    "             the values as text (default) or in word2vec's binary format\n"
    "             (32-bit floats; gensim: load_word2vec_format(path, binary=True))\n"
    "  --help     show this help and exit\n"
    "  --version  print the version and exit\n"
    "  --         treat every later argument as a path (for paths starting with -)\n"
    "\n"
    "Stage messages go to standard output, a progress bar to standard error when\n"
    "that is a terminal. Exit status: 0 when every record was written, 1 when the\n"
    "conversion fails (the reason is printed on standard error), 2 for bad usage,\n"
    "3 when a malformed line left the output without records (its number and\n"
    "what is wrong with it are printed on standard error).\n"
    "\n"
    "check INPUT reads the file by the same rules without writing anything and\n"
    "reports every problem (PATH:LINE:COLUMN: reason), a summary of the file's\n"
    "shape and warnings for what converts but loaders misread:\n"
    "  --max-problems N  list at most N problems (default 20; all are counted)\n"
    "  --json            the same report as one JSON document\n"
    "  --jobs N, -j N    worker threads, as for the conversion; the same report\n"
    "  --layer, --layers, --combine, --per-type, --format\n"
    "                    check for the conversion with these options\n"
    "It exits with 0 when the conversion would write every record, 1 when not,\n"
    "2 for bad usage.\n";

// The line the help ends with: what this build can decompress.
std::string compressed_input_line() {
  const std::string formats = ondravane::cli::readable_compressed_formats();
  return formats.empty() ? "\ncompressed input: not supported by this build\n"
                         : "\ncompressed input: " + formats + "\n";
}

constexpr char kError[] = "ondravane-converter: error: ";

// Exit statuses besides 0 (success) and 1 (failure).
constexpr int kBadUsage = 2;
constexpr int kNoRecordWritten = 3;

int usage_error(const std::string& message) {
  ondravane::write_all(2, std::string(kUsage) + kError + message + "\n");
  return kBadUsage;
}

// More workers than processors would only wait for each other, and each
// takes a thread stack and chunks in flight: a 32-bit process asked for a
// thousand would run out of address space.
unsigned worker_threads(unsigned asked) { return std::min(asked, ondravane::cli::available_processors()); }

// A terminating signal removes the new files a conversion left named in
// their folders, its unfinished output and the copy of an input read once
// (unnamed ones need nothing), then ends the process by that signal, as if
// it had not been caught.
extern "C" void end_by_signal(int signal) {
  ondravane::remove_unfinished_files();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// A malformed line emptied the output: say which and why, so that a script
// (and `set -e`) notices what processor reports only as "Error parsing line".
// The place is INPUT:LINE:COLUMN, both counted from 1, as the check reports it.
int report_rejected_line(const std::string& input, const ondravane::MalformedLine& rejected) {
  ondravane::write_all(2, std::string(kError) + input + ":" + std::to_string(rejected.number) + ":" +
                              std::to_string(rejected.rejection.column + 1) + ": " + rejected.rejection.reason +
                              "; the output holds no record (ondravane-converter check lists every problem)\n");
  return kNoRecordWritten;
}

// Loaders of the binary format end an identifier at its first blank, so
// what follows it is read as values: the file converts, but say so.
void warn_of_blank_identifiers(const ondravane::BlankIdentifiers& blanks) {
  if (blanks.count == 0) return;
  ondravane::write_all(2, "ondravane-converter: warning: " + std::to_string(blanks.count) +
                              (blanks.count == 1 ? " identifier holds" : " identifiers hold") +
                              " a blank, which loaders of the binary format take for its end (the first: '" +
                              blanks.first + "')\n");
}

// The input as messages name it: its path, or "<stdin>".
std::string input_name(const std::string& path, bool standard_input) {
  return standard_input ? "<stdin>" : path;
}

int run_check(const std::vector<std::string>& arguments) {
  using namespace ondravane::cli;
  const CheckParseResult parsed = parse_check_options(arguments);
  if (!parsed.options) return usage_error(parsed.error);
  const CheckOptions& options = *parsed.options;
  if (options.show_help) {
    ondravane::print_line(std::string(kUsage) + kHelp + compressed_input_line());
    return 0;
  }
  const std::string name = input_name(options.input, options.input_is_standard_input);
  ondravane::InputFile file =
      options.input_is_standard_input ? ondravane::InputFile::standard_input() : ondravane::InputFile(options.input);
  const std::unique_ptr<ondravane::ByteSource> text = decompressed(file, name);
  const ondravane::CheckReport report = ondravane::check_source(
      text ? *text : file, options.max_problems, worker_threads(options.jobs), ondravane::kDefaultChunkBytes,
      options.vectors);
  ondravane::print_line(options.json ? format_check_json(name, report)
                                     : format_check_text(name, report, options.vectors));
  return check_exit_status(report);
}

int run(const std::vector<std::string>& arguments) {
  if (!arguments.empty() && arguments[0] == "check") {
    return run_check(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
  }
  const auto parsed = ondravane::cli::parse_options(arguments);
  if (!parsed.options) return usage_error(parsed.error);
  const auto& options = *parsed.options;
  if (options.show_help) {
    ondravane::print_line(std::string(kUsage) + kHelp + compressed_input_line());
  } else if (options.show_version) {
    ondravane::print_line(std::string(ondravane::kVersionText) + "\n");
  } else {
    ondravane::ConversionOptions conversion = options.conversion;
    conversion.jobs = worker_threads(conversion.jobs);
    // The output is replaced only by a complete file: an interrupted or
    // failed conversion leaves what was there.
    conversion.commit = ondravane::OutputCommit::kWhenComplete;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, end_by_signal);
    const std::string name = input_name(options.input, options.input_is_standard_input);
    const auto decode = [&](ondravane::InputFile& file) { return ondravane::cli::decompressed(file, name); };
    const ondravane::ConversionInput input{options.input, options.input_is_standard_input, decode};
    const ondravane::ConversionOutcome outcome = ondravane::convert(input, options.output, conversion);
    if (outcome.malformed) return report_rejected_line(name, *outcome.malformed);
    if (conversion.vectors.format == ondravane::VectorFormat::kBinary) {
      warn_of_blank_identifiers(outcome.blank_identifiers);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  // A closed standard output is a failure with its message and status 1, as
  // it is for the Python function, not a silent death; so is a write past
  // the file-size limit, which fails with EFBIG once SIGXFSZ is ignored.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    return run(arguments);
  } catch (const ondravane::Failure& failure) {
    ondravane::write_all(2, kError + std::string(failure.what()) + "\n");
    return 1;
  } catch (const std::bad_alloc&) {
    ondravane::write_all(2, std::string(kError) + "out of memory\n");
    return 1;
  } catch (const std::exception& error) {
    ondravane::write_all(2, kError + std::string(error.what()) + "\n");
    return 1;
  }
}
