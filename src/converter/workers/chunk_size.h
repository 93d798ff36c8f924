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
// longer than this is worked on alone).
inline constexpr std::size_t kBytesInFlightPerWorker = std::size_t{4} << 20;

// A worker leaves the rest of a chunk to the calling thread once its results
// hold this much (files of many tiny lines have results larger than their
// bytes), so a chunk's results stay bounded too.
inline constexpr std::size_t kResultBytesPerChunk = std::size_t{1} << 20;

}  // namespace ondravane
