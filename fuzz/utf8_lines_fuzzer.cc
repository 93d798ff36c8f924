// Fuzzes UTF-8 validation against a decoder written from the code-point
// definition, and line splitting over a file descriptor with block sizes small
// enough that lines straddle, fill and outgrow the buffer.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "converter/input/chunk_reader.h"
#include "converter/input/input_file.h"
#include "converter/json/utf8.h"

namespace {

[[noreturn]] void report(const char* what, std::string_view input) {
  std::fprintf(stderr, "utf8/lines invariant broken: %s (input of %zu bytes)\n", what, input.size());
  std::abort();
}

// Decodes code point by code point: a sequence is well formed when its lead
// byte announces its length, every following byte is a continuation, and the
// value is a scalar value that needs exactly that length.
bool reference_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    std::uint32_t cp;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      cp = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned byte = static_cast<unsigned char>(text[i + k]);
      if ((byte & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (byte & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the buffer size; the rest is the file.
  const std::size_t block_size = 1 + data[0] % 64;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  if (ondravane::is_valid_utf8(text) != reference_utf8(text)) report("UTF-8 verdicts differ", text);
  // Validation of each piece must agree with validation of its own bytes at
  // every offset, which is how the reader sees line fragments.
  for (std::size_t cut = 0; cut < text.size() && cut < 16; ++cut) {
    const std::string_view tail = text.substr(cut);
    if (ondravane::is_valid_utf8(tail) != reference_utf8(tail)) report("UTF-8 verdicts differ on a suffix", text);
  }

  const int fd = memfd_create("lines", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (!text.empty() && write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    close(fd);
    return 0;
  }
  lseek(fd, 0, SEEK_SET);
  std::string joined;
  {
    ondravane::InputFile file("/proc/self/fd/" + std::to_string(fd));
    ondravane::ChunkReader reader(file, block_size);
    ondravane::ChunkBytes chunk;
    bool previous_ended = true;
    while (reader.fill(chunk)) {
      const std::string_view lines = chunk.lines();
      if (lines.empty()) report("an empty chunk was handed out", text);
      for (std::size_t at = 0; at < lines.size();) {
        const std::string_view line = ondravane::line_at(lines, at);
        at += line.size();
        if (!previous_ended) report("a line without LF was followed by another", text);
        const std::size_t lf = line.find('\n');
        if (lf != std::string_view::npos && lf != line.size() - 1) report("a line holds an inner LF", text);
        previous_ended = lf != std::string_view::npos;
        joined.append(line);
      }
    }
    // Once exhausted, it stays exhausted.
    if (reader.fill(chunk)) report("a chunk after the end", text);
  }
  close(fd);
  if (joined != text) report("the lines do not add up to the file", text);
  return 0;
}
