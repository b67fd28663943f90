// The bounds every data block keeps, shared by the encoders (which stay inside them) and the
// decoders (which refuse a block that steps outside them).
#pragma once

#include <cstdint>

namespace codec {

// The largest zstd window any frame may use: 32 MiB, so that decoding stays well under 64 MiB of
// memory in the 32-bit build too. A frame that asks for more is refused, not allocated.
inline constexpr int kWindowLogMax = 25;

// Reference zstd keeps the whole old file in memory while it decodes, so it is only used while old
// and new together fit in one window.
inline constexpr uint64_t kReferenceLimit = uint64_t{1} << kWindowLogMax;

// A covers stream is cut into segments of at most this many new bytes; the decoder holds one
// segment's unexplained bytes at a time.
inline constexpr uint64_t kSegmentMaxBytes = uint64_t{4} << 20;
inline constexpr uint64_t kSegmentMaxRecords = uint64_t{1} << 16;

}  // namespace codec
