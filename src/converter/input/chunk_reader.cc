// Filling chunks of whole lines from the bytes of an input.
#include "converter/input/chunk_reader.h"

#include <algorithm>
#include <utility>

namespace ondravane {

void ChunkReader::reserve(ChunkBytes& chunk, std::size_t size, std::size_t keep) { chunk.reserve(size, keep); }

bool ChunkReader::fill(ChunkBytes& chunk) {
  const std::size_t carry_at = previous_ == nullptr ? 0 : previous_->start_ + previous_->size_;
  const std::size_t carry = previous_ == nullptr ? 0 : previous_->end_ - carry_at;
  if (previous_ != nullptr && previous_ != &chunk && previous_taken_) {
    // No one works on the chunk that holds the carry any more: its buffer,
    // grown for the line it holds, serves again rather than a second one.
    std::swap(chunk.buffer_, previous_->buffer_);
    std::swap(chunk.start_, previous_->start_);
    std::swap(chunk.size_, previous_->size_);
    std::swap(chunk.end_, previous_->end_);
    give_back_if_grown(*previous_);
    previous_ = &chunk;
  }
  // The carry goes where its first byte lies within a page of the input, so
  // that every read after it lands at the place it reads from.
  const std::size_t lead = place_in_page(bytes_read_ - carry);
  const std::size_t wanted = lead + std::max(chunk_bytes_, carry + 1);
  if (previous_ == &chunk) {
    reserve(chunk, wanted, carry_at + carry);
    if (carry != 0) std::memmove(chunk.buffer_.get() + lead, chunk.buffer_.get() + carry_at, carry);
  } else {
    // A buffer that grew for one long line is not kept for every later chunk.
    if (chunk.buffer_.capacity() > std::max(4 * wanted, kept_bytes_)) {
      chunk.buffer_.release();
    }
    reserve(chunk, wanted, 0);
    if (carry != 0) std::memcpy(chunk.buffer_.get() + lead, previous_->buffer_.get() + carry_at, carry);
  }
  previous_ = &chunk;
  previous_taken_ = false;
  chunk.start_ = lead;
  chunk.end_ = lead + carry;
  chunk.size_ = 0;
  // The carry is part of one line: no LF in it.
  std::size_t lines_end = lead;  // just past the last LF read
  while (!exhausted_ && (chunk.end_ - lead < chunk_bytes_ || lines_end == lead)) {
    const std::size_t capacity = chunk.buffer_.capacity();
    if (chunk.end_ == capacity) reserve(chunk, std::max(2 * capacity, wanted), chunk.end_);
    char* const at = chunk.buffer_.get() + chunk.end_;
    std::size_t count = 0;
    try {
      count = source_.read(at, chunk.buffer_.capacity() - chunk.end_);
    } catch (...) {
      read_error_ = std::current_exception();
      exhausted_ = true;
      chunk.end_ = lines_end;  // the line the read cut off is never seen
      break;
    }
    if (count > 0) {
      bytes_read_ += count;
      chunk.end_ += count;
      if (const void* lf = ::memrchr(at, '\n', count)) {
        lines_end = static_cast<std::size_t>(static_cast<const char*>(lf) - chunk.buffer_.get()) + 1;
      }
    } else {
      exhausted_ = true;
      lines_end = chunk.end_;  // the last line may lack its LF
    }
  }
  chunk.size_ = lines_end - lead;
  return chunk.size_ != 0;
}

}  // namespace ondravane
