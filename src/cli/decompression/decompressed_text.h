// The text of a compressed input, decompressed on a thread of its own while
// the conversion reads it: a ring of blocks handed from that thread to the
// reading in order, each with how far into the compressed bytes it came, so
// that the reading bar counts compressed bytes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/decompression/decoder.h"
#include "converter/input/byte_source.h"
#include "converter/input/input_file.h"
#include "support/file_io.h"

namespace ondravane::cli {

class DecompressedText : public ByteSource {
 public:
  // Decompresses the bytes of `file` (kept open by the caller) with
  // `decoder`; `name` is the input as failures name it. When the system
  // refuses the thread, the text is decompressed as it is read instead.
  DecompressedText(InputFile& file, std::unique_ptr<Decoder> decoder, std::string name);
  // Stops the thread, also while it waits for a pipe's writer.
  ~DecompressedText() override;
  DecompressedText(const DecompressedText&) = delete;
  DecompressedText& operator=(const DecompressedText&) = delete;

  std::size_t read(char* into, std::size_t room) override;
  // The compressed input's size, and where the text taken brings the bar
  // in compressed bytes.
  std::uint64_t bar_length() const override { return file_.size(); }
  std::optional<std::uint64_t> bar_position_after(std::uint64_t text_bytes) override;
  // Decompresses the rest into nothing: damaged data fails here.
  void verify_rest() override;

 private:
  struct Block {
    std::unique_ptr<char[]> text;
    std::size_t size = 0;
    std::uint64_t text_end = 0;        // text bytes up to the block's end
    std::uint64_t compressed_end = 0;  // compressed bytes taken for them
  };
  // The decoder's side: fills `block`, false once there is nothing more to
  // give (the end, a stop); raises the failure it meets, the text before it
  // kept in the block.
  bool produce(Block& block);
  // Fills the next free block and hands it over, with the end or the
  // failure after it; false once nothing more follows.
  bool fill_next();
  void serve();
  // The reading's side: the next block, or nothing at the end; raises the
  // failure the decoder met after the blocks before it.
  Block* next_block();
  void release_block();
  // Waits until the compressed input can be read, or a stop; false on a stop.
  bool wait_for_input();
  [[noreturn]] void fail_damaged(const std::string& what) const;

  InputFile& file_;
  std::unique_ptr<Decoder> decoder_;
  std::string name_;

  // The decoder's own state, touched by its thread alone (or by the reading
  // when there is no thread).
  std::unique_ptr<char[]> input_;
  std::size_t input_size_ = 0;
  std::size_t input_used_ = 0;
  bool input_ended_ = false;
  std::uint64_t compressed_taken_ = 0;
  std::uint64_t text_made_ = 0;

  // The ring, shared under the lock.
  std::vector<Block> blocks_;
  std::size_t filled_ = 0;    // blocks handed to the reading
  std::size_t consumed_ = 0;  // blocks the reading gave back
  bool finished_ = false;     // no block after those filled
  std::exception_ptr failure_;
  bool stopping_ = false;
  std::mutex lock_;
  std::condition_variable changed_;
  UniqueFd wake_{-1};  // an eventfd that ends the wait for a pipe's writer

  // The reading's own state.
  Block* current_ = nullptr;
  std::size_t current_used_ = 0;
  // Of the blocks read: the text and compressed bytes up to each one's end.
  std::deque<std::pair<std::uint64_t, std::uint64_t>> marks_;
  std::pair<std::uint64_t, std::uint64_t> previous_mark_{0, 0};

  std::thread thread_;  // last: started after everything it uses
};

}  // namespace ondravane::cli
