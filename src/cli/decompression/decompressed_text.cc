// Decompressing on a thread of its own into a ring of blocks, and reading
// the text from them in order.
#include "cli/decompression/decompressed_text.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "support/failure.h"

namespace ondravane::cli {

namespace {

// Text per block and blocks in the ring: enough to keep the reading busy
// while the decoder works, little beside the conversion's own memory.
constexpr std::size_t kBlockBytes = std::size_t{256} << 10;
constexpr std::size_t kBlocks = 8;
// Compressed bytes read at once.
constexpr std::size_t kInputBytes = std::size_t{256} << 10;

}  // namespace

DecompressedText::DecompressedText(InputFile& file, std::unique_ptr<Decoder> decoder, std::string name)
    : file_(file),
      decoder_(std::move(decoder)),
      name_(std::move(name)),
      input_(std::make_unique_for_overwrite<char[]>(kInputBytes)),
      blocks_(kBlocks) {
  for (Block& block : blocks_) block.text = std::make_unique_for_overwrite<char[]>(kBlockBytes);
  struct stat status;
  if (::fstat(file_.fd(), &status) != 0 || !S_ISREG(status.st_mode)) {
    // A pipe may keep the thread waiting for its writer; a stop ends that wait.
    wake_ = above_standard_streams(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  }
  try {
    thread_ = std::thread([this] { serve(); });
  } catch (const std::system_error&) {
    // No thread to be had: read() decompresses as it goes.
  }
}

DecompressedText::~DecompressedText() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard held(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (wake_.get() >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
  }
  thread_.join();
}

bool DecompressedText::wait_for_input() {
  if (wake_.get() < 0 || !thread_.joinable()) return true;
  pollfd waits[2] = {{file_.fd(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
  for (;;) {
    if (::poll(waits, 2, -1) >= 0) return (waits[1].revents & POLLIN) == 0;
    if (errno != EINTR) return true;  // the read tells what is wrong
  }
}

void DecompressedText::fail_damaged(const std::string& what) const {
  fail("the compressed input " + name_ + " is damaged: its " + decoder_->format() + " data " + what);
}

bool DecompressedText::produce(Block& block) {
  block.size = 0;
  const auto mark = [&] {
    block.text_end = text_made_;
    block.compressed_end = compressed_taken_;
  };
  while (block.size < kBlockBytes) {
    if (input_used_ == input_size_ && !input_ended_) {
      if (!wait_for_input()) return false;
      input_size_ = file_.read(input_.get(), kInputBytes);
      input_used_ = 0;
      input_ended_ = input_size_ == 0;
    }
    const Decoder::Step step =
        decoder_->decode(std::string_view(input_.get() + input_used_, input_size_ - input_used_),
                         std::span<char>(block.text.get() + block.size, kBlockBytes - block.size));
    input_used_ += step.consumed;
    compressed_taken_ += step.consumed;
    block.size += step.produced;
    text_made_ += step.produced;
    mark();
    const auto where = [&] {
      return "at compressed byte " + std::to_string(compressed_taken_) + " (after " + std::to_string(text_made_) +
             " bytes of text)";
    };
    if (!step.error.empty()) fail_damaged("is wrong " + where() + ": " + step.error);
    if (step.produced != 0 || step.consumed != 0) continue;
    if (input_used_ < input_size_) fail_damaged("is wrong " + where() + ": the decoder cannot go on");
    if (input_ended_) {
      if (!decoder_->at_end_of_data()) fail_damaged("stops " + where() + " before its end: the file is cut short");
      return false;
    }
  }
  return true;
}

bool DecompressedText::fill_next() {
  Block& block = blocks_[filled_ % kBlocks];
  bool more = false;
  std::exception_ptr failure;
  try {
    more = produce(block);
  } catch (...) {
    failure = std::current_exception();
  }
  std::lock_guard held(lock_);
  if (stopping_) return false;
  if (block.size != 0) ++filled_;
  if (!more) {
    finished_ = true;
    failure_ = failure;
  }
  changed_.notify_all();
  return more;
}

void DecompressedText::serve() {
  for (;;) {
    {
      std::unique_lock held(lock_);
      changed_.wait(held, [&] { return stopping_ || filled_ - consumed_ < kBlocks; });
      if (stopping_) return;
    }
    if (!fill_next()) return;
  }
}

DecompressedText::Block* DecompressedText::next_block() {
  if (!thread_.joinable()) {
    while (filled_ == consumed_ && !finished_) fill_next();
  }
  std::unique_lock held(lock_);
  changed_.wait(held, [&] { return filled_ > consumed_ || finished_; });
  if (filled_ > consumed_) return &blocks_[consumed_ % kBlocks];
  if (failure_) std::rethrow_exception(failure_);
  return nullptr;
}

void DecompressedText::release_block() {
  {
    std::lock_guard held(lock_);
    ++consumed_;
  }
  changed_.notify_all();
}

std::size_t DecompressedText::read(char* into, std::size_t room) {
  for (;;) {
    if (current_ != nullptr && current_used_ < current_->size) {
      const std::size_t count = std::min(room, current_->size - current_used_);
      std::memcpy(into, current_->text.get() + current_used_, count);
      current_used_ += count;
      return count;
    }
    if (current_ != nullptr) {
      current_ = nullptr;
      release_block();
    }
    current_ = next_block();
    if (current_ == nullptr) return 0;
    current_used_ = 0;
    marks_.emplace_back(current_->text_end, current_->compressed_end);
  }
}

std::optional<std::uint64_t> DecompressedText::bar_position_after(std::uint64_t text_bytes) {
  // Between the ends of the blocks around it, in proportion.
  while (marks_.size() > 1 && marks_.front().first < text_bytes) {
    previous_mark_ = marks_.front();
    marks_.pop_front();
  }
  if (marks_.empty()) return previous_mark_.second;
  const auto [text_end, compressed_end] = marks_.front();
  if (text_bytes >= text_end || text_end == previous_mark_.first) return compressed_end;
  const std::uint64_t into = text_bytes - std::min(text_bytes, previous_mark_.first);
  return previous_mark_.second +
         (compressed_end - previous_mark_.second) * into / (text_end - previous_mark_.first);
}

void DecompressedText::verify_rest() {
  if (current_ != nullptr) {
    current_ = nullptr;
    release_block();
  }
  while (next_block() != nullptr) release_block();
}

}  // namespace ondravane::cli
