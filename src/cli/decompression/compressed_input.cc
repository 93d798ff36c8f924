// Telling compressed inputs by their magic numbers, and the decoders this
// build was made with.
#include "cli/decompression/compressed_input.h"

#include <cstdint>
#include <string_view>

#include "cli/decompression/decoder.h"
#include "cli/decompression/decompressed_text.h"
#include "support/failure.h"

namespace ondravane::cli {

namespace {

enum class Format { kNone, kGzip, kZstd };

// A gzip member starts 1f 8b; a zstd frame 28 b5 2f fd, and a skippable
// frame, which may come first, 5? 2a 4d 18 (little-endian magic numbers).
Format format_of(std::string_view start) {
  const auto byte = [&](std::size_t i) { return i < start.size() ? static_cast<unsigned char>(start[i]) : 0x100u; };
  if (byte(0) == 0x1f && byte(1) == 0x8b) return Format::kGzip;
  if (byte(0) == 0x28 && byte(1) == 0xb5 && byte(2) == 0x2f && byte(3) == 0xfd) return Format::kZstd;
  if ((byte(0) & 0xf0) == 0x50 && byte(1) == 0x2a && byte(2) == 0x4d && byte(3) == 0x18) return Format::kZstd;
  return Format::kNone;
}

[[noreturn, maybe_unused]] void fail_unreadable(const std::string& name, const char* format, const char* library) {
  fail(name + " is " + format + "-compressed, and this build of ondravane-converter cannot read " + format +
       " input (it was built without " + library + ")");
}

}  // namespace

std::unique_ptr<ByteSource> decompressed(InputFile& file, const std::string& name) {
  std::unique_ptr<Decoder> decoder;
  switch (format_of(file.peek(4))) {
    case Format::kNone:
      return nullptr;
    case Format::kGzip:
#ifdef ONDRAVANE_WITH_ZLIB
      decoder = make_gzip_decoder();
      break;
#else
      fail_unreadable(name, "gzip", "zlib");
#endif
    case Format::kZstd:
#ifdef ONDRAVANE_WITH_ZSTD
      decoder = make_zstd_decoder();
      break;
#else
      fail_unreadable(name, "zstd", "libzstd");
#endif
  }
  return std::make_unique<DecompressedText>(file, std::move(decoder), name);
}

std::string readable_compressed_formats() {
  std::string formats;
#ifdef ONDRAVANE_WITH_ZLIB
  formats += "gzip";
#endif
#ifdef ONDRAVANE_WITH_ZSTD
  formats += formats.empty() ? "zstd" : ", zstd";
#endif
  return formats;
}

}  // namespace ondravane::cli
