// The wrapper around libdivsufsort and its 64-bit variant.
#include "patchw32/codec/suffix_array.h"

#include <divsufsort.h>
#include <divsufsort64.h>

#include <limits>

namespace codec {

SuffixArray SuffixArray::Build(std::span<const std::byte> text, Width width) {
  SuffixArray array;
  if (text.empty()) return array;
  auto* bytes = reinterpret_cast<const sauchar_t*>(text.data());
  bool narrow = width == Width::Narrow ||
                (width == Width::Auto && text.size() <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max()));
  if (narrow) {
    if (text.size() > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return array;
    array.narrow_.resize(text.size());
    if (divsufsort(bytes, array.narrow_.data(), static_cast<saidx_t>(text.size())) != 0) array.narrow_.clear();
  } else {
    array.wide_.resize(text.size());
    if (divsufsort64(bytes, array.wide_.data(), static_cast<saidx64_t>(text.size())) != 0) array.wide_.clear();
  }
  return array;
}

}  // namespace codec
