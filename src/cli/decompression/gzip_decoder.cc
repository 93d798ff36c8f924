// The gzip decoder, on zlib: one member after another, each checked against
// its CRC-32 and length at its end.
#include <zlib.h>

#include <cstring>
#include <limits>
#include <new>

#include "cli/decompression/decoder.h"

namespace ondravane::cli {

namespace {

class GzipDecoder : public Decoder {
 public:
  GzipDecoder() {
    std::memset(&stream_, 0, sizeof stream_);
    // 15 + 16: the largest window, and the gzip wrapper only.
    if (inflateInit2(&stream_, 15 + 16) != Z_OK) throw std::bad_alloc();
  }
  ~GzipDecoder() override { inflateEnd(&stream_); }

  Step decode(std::string_view input, std::span<char> text) override {
    Step step;
    while (step.produced < text.size() && (step.consumed < input.size() || !member_ended_)) {
      if (member_ended_) {
        // More bytes after a member: the next member, which starts anew.
        inflateReset(&stream_);
        member_ended_ = false;
      }
      stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data() + step.consumed));
      stream_.avail_in = chunk(input.size() - step.consumed);
      stream_.next_out = reinterpret_cast<Bytef*>(text.data() + step.produced);
      stream_.avail_out = chunk(text.size() - step.produced);
      const uInt in_before = stream_.avail_in;
      const uInt out_before = stream_.avail_out;
      const int result = inflate(&stream_, Z_NO_FLUSH);
      step.consumed += in_before - stream_.avail_in;
      step.produced += out_before - stream_.avail_out;
      if (result == Z_STREAM_END) {
        member_ended_ = true;
      } else if (result == Z_MEM_ERROR) {
        throw std::bad_alloc();
      } else if (result == Z_DATA_ERROR || result == Z_NEED_DICT || result == Z_STREAM_ERROR) {
        step.error = stream_.msg != nullptr ? stream_.msg : "invalid data";
        return step;
      } else if (result == Z_BUF_ERROR || (in_before == stream_.avail_in && out_before == stream_.avail_out)) {
        break;  // every byte of the input is taken: more is needed
      }
    }
    return step;
  }

  bool at_end_of_data() const override { return member_ended_; }
  const char* format() const override { return "gzip"; }

 private:
  static uInt chunk(std::size_t size) {
    return static_cast<uInt>(std::min<std::size_t>(size, std::numeric_limits<uInt>::max()));
  }

  z_stream stream_;
  // Whether the last member ended, and nothing of the next has been seen.
  bool member_ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> make_gzip_decoder() { return std::make_unique<GzipDecoder>(); }

}  // namespace ondravane::cli
