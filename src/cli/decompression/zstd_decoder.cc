// The zstd decoder, on libzstd: frames one after another (skippable ones
// skipped), each checked against its checksum where it has one.
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <new>

#include "cli/decompression/decoder.h"

namespace ondravane::cli {

namespace {

// The most text a block of zstd data holds.
constexpr std::size_t kRoomPerCall = std::size_t{128} << 10;

class ZstdDecoder : public Decoder {
 public:
  ZstdDecoder() : context_(ZSTD_createDCtx()) {
    if (context_ == nullptr) throw std::bad_alloc();
  }
  ~ZstdDecoder() override { ZSTD_freeDCtx(context_); }

  Step decode(std::string_view input, std::span<char> text) override {
    ZSTD_inBuffer in{input.data(), input.size(), 0};
    ZSTD_outBuffer out{text.data(), 0, 0};
    Step step;
    // Until the input is taken or the text full; a frame that ends within
    // the input is followed by the next one. A call is given room for about
    // one block, so that the input taken says where damage was found.
    while (in.pos < in.size && out.pos < text.size()) {
      out.size = std::min(text.size(), out.pos + kRoomPerCall);
      const std::size_t result = ZSTD_decompressStream(context_, &out, &in);
      if (ZSTD_isError(result)) {
        if (ZSTD_getErrorCode(result) == ZSTD_error_memory_allocation) throw std::bad_alloc();
        step.error = ZSTD_getErrorName(result);
        break;
      }
      frame_ended_ = result == 0;
    }
    // Text held back inside the context for want of room comes with the
    // next call, before more input.
    out.size = text.size();
    if (step.error.empty() && in.pos == in.size && out.pos < out.size && !frame_ended_) {
      const std::size_t result = ZSTD_decompressStream(context_, &out, &in);
      if (ZSTD_isError(result)) {
        step.error = ZSTD_getErrorName(result);
      } else {
        frame_ended_ = result == 0;
      }
    }
    step.consumed = in.pos;
    step.produced = out.pos;
    return step;
  }

  bool at_end_of_data() const override { return frame_ended_; }
  const char* format() const override { return "zstd"; }

 private:
  ZSTD_DCtx* context_;
  bool frame_ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> make_zstd_decoder() { return std::make_unique<ZstdDecoder>(); }

}  // namespace ondravane::cli
