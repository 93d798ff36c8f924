// How the readings of a file are cut into chunks of work, and how much of
// them may be in flight at once.
#pragma once

#include <cstddef>

namespace ondravane {

// About this many bytes of lines per chunk (a chunk holds at least one line).
inline constexpr std::size_t kDefaultChunkBytes = std::size_t{1} << 20;

// Chunks in the ring per worker: one being worked on, one waiting for it,
// one waiting to be taken back.
inline constexpr unsigned kChunksPerWorker = 3;

// The memory the chunks in flight may hold per worker, input and results
// together, whatever the lines' lengths: a chunk alone may hold more (a line
// longer than this is worked on alone). Ranges of a file grow to twice the
// chunk size for long lines (ChunkRanges): a range and a line going on past
// it fit this with room to spare, so lines of a few MB (13 layers) are read
// by the workers side by side rather than one at a time.
inline constexpr std::size_t kBytesInFlightPerWorker = std::size_t{8} << 20;

// The buffers of chunks taken back that a reading of ranges keeps for the
// chunks to come (ChunkRanges), per worker. A buffer is made only when none
// is kept, so no more exist than chunks in the ring: keeping every ordinary
// one adds nothing to the peak the ring reaches, and spares faulting in new
// pages for chunk after chunk of long lines.
inline constexpr std::size_t kSpareBytesPerWorker = kChunksPerWorker * kBytesInFlightPerWorker;

// A worker leaves the rest of a chunk to the calling thread once its results
// hold this much (files of many tiny lines have results larger than their
// bytes), so a chunk's results stay bounded too.
inline constexpr std::size_t kResultBytesPerChunk = std::size_t{1} << 20;

// In the second reading a worker formats at most this much text a chunk,
// and reads again no occurrence that may span more than kPieceBytesPerWorker
// bytes of its line: the calling thread, which writes straight into the
// file, takes what is left, so huge occurrences and values whose text is
// far longer than what was read cost one thread's memory, not a worker's
// each.
inline constexpr std::size_t kFormattedBytesPerChunk = std::size_t{1} << 20;
inline constexpr std::size_t kPieceBytesPerWorker = std::size_t{256} << 10;

}  // namespace ondravane
