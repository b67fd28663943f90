// The suffix array of an old file (or a window of it), built with libdivsufsort.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace codec {

class SuffixArray {
 public:
  enum class Width { Auto, Narrow, Wide };

  // Narrow (32-bit entries) holds texts below 2 GiB; Wide (64-bit) any size. Auto picks the
  // narrow one whenever it fits, since it takes half the memory. Empty when libdivsufsort fails.
  static SuffixArray Build(std::span<const std::byte> text, Width width = Width::Auto);

  uint64_t size() const { return narrow_.empty() ? wide_.size() : narrow_.size(); }
  bool empty() const { return size() == 0; }
  // Exactly one of these is non-empty for a non-empty text.
  std::span<const int32_t> Narrow() const { return narrow_; }
  std::span<const int64_t> Wide() const { return wide_; }

 private:
  std::vector<int32_t> narrow_;
  std::vector<int64_t> wide_;
};

}  // namespace codec
