// The payload's hashes: XXH3-64 for the index and data blocks, XXH3-128 for whole files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace payload {

struct Hash128 {
  uint64_t low = 0;
  uint64_t high = 0;
  bool operator==(const Hash128&) const = default;
};

uint64_t Hash64(std::span<const std::byte> bytes);
Hash128 Hash128Of(std::span<const std::byte> bytes);

// XXH3-128 over data that arrives in pieces.
class StreamingHash128 {
 public:
  StreamingHash128();
  ~StreamingHash128();
  StreamingHash128(const StreamingHash128&) = delete;
  StreamingHash128& operator=(const StreamingHash128&) = delete;
  void Update(std::span<const std::byte> bytes);
  Hash128 Digest() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// XXH3-64 over data that arrives in pieces (a data block read as it is decoded).
class StreamingHash64 {
 public:
  StreamingHash64();
  ~StreamingHash64();
  StreamingHash64(const StreamingHash64&) = delete;
  StreamingHash64& operator=(const StreamingHash64&) = delete;
  void Update(std::span<const std::byte> bytes);
  uint64_t Digest() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace payload
