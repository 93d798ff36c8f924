// How the readings of a file are cut into work for worker threads.
#pragma once

#include <cstddef>

namespace ondravane {

// About this many bytes of lines per chunk (a chunk holds at least one line).
inline constexpr std::size_t kDefaultChunkBytes = std::size_t{1} << 20;

// Chunks in flight per worker: one being worked on, one waiting for it, one
// waiting to be taken back.
inline constexpr unsigned kChunksPerWorker = 3;

}  // namespace ondravane
