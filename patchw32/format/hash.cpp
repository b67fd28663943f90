// XXH3 from xxhash, compiled inline into this one file.
#include "patchw32/format/hash.h"

#include <xxhash.h>

namespace payload {

uint64_t Hash64(std::span<const std::byte> bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

Hash128 Hash128Of(std::span<const std::byte> bytes) {
  XXH128_hash_t h = XXH3_128bits(bytes.data(), bytes.size());
  return {h.low64, h.high64};
}

struct StreamingHash128::State {
  XXH3_state_t xxh;
};

StreamingHash128::StreamingHash128() : state_(std::make_unique<State>()) { XXH3_128bits_reset(&state_->xxh); }
StreamingHash128::~StreamingHash128() = default;

void StreamingHash128::Update(std::span<const std::byte> bytes) {
  XXH3_128bits_update(&state_->xxh, bytes.data(), bytes.size());
}

Hash128 StreamingHash128::Digest() const {
  XXH128_hash_t h = XXH3_128bits_digest(&state_->xxh);
  return {h.low64, h.high64};
}

struct StreamingHash64::State {
  XXH3_state_t xxh;
};

StreamingHash64::StreamingHash64() : state_(std::make_unique<State>()) { XXH3_64bits_reset(&state_->xxh); }
StreamingHash64::~StreamingHash64() = default;

void StreamingHash64::Update(std::span<const std::byte> bytes) {
  XXH3_64bits_update(&state_->xxh, bytes.data(), bytes.size());
}

uint64_t StreamingHash64::Digest() const { return XXH3_64bits_digest(&state_->xxh); }

}  // namespace payload
