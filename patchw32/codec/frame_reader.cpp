// The frame reader behind every decoder: a capped window, and a block read in slices.
#include "patchw32/codec/frame_reader.h"

#include <algorithm>
#include <cstring>

#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/lzma_block.h"

namespace codec {

FrameReader::FrameReader(const ReadAt& block, uint64_t blockLength, int windowLog, std::span<const std::byte> prefix)
    : block_(block), blockLength_(blockLength) {
  windowLog = std::min(windowLog, kWindowLogMax);
  setup_ = Start(windowLog, prefix);
  // A stage hands out at most a block (zstd's, 128 KiB) at a time, never more than the window.
  input_.resize(static_cast<size_t>(std::min(kFrameInputBytes, blockLength - consumed_)));
  output_.resize(static_cast<size_t>(std::min(kFrameOutputBytes, uint64_t{1} << windowLog)));
}

DecodeResult FrameReader::Start(int windowLog, std::span<const std::byte> prefix) {
  std::byte header[kLzmaHeaderBytes] = {};
  size_t peek = static_cast<size_t>(std::min<uint64_t>(blockLength_, kLzmaHeaderBytes));
  if (peek > 0 && !block_(0, std::span(header, peek))) return DecodeResult::ReadError;
  if (peek == 0 || header[0] != kLzmaBlockTag) {
    inflater_ = MakeZstdInflater(windowLog, prefix);
    return inflater_ ? DecodeResult::Ok : DecodeResult::CorruptData;
  }
  // A hostile header cannot make us allocate a dictionary beyond what this file allows.
  auto code = static_cast<uint8_t>(header[1]);
  if (peek < kLzmaHeaderBytes || code > kLzmaDictionaryCodeMax ||
      LzmaDictionaryBytes(code) > LzmaDictionaryBound(windowLog))
    return DecodeResult::CorruptData;
  // The dictionary starts as a copy of the reference, which the caller still holds: together
  // they stay within one window (codec_limits.h).
  if (!prefix.empty() && LzmaDictionaryBytes(code) > kLzmaReferenceMemory - std::min<uint64_t>(prefix.size(), kLzmaReferenceMemory))
    return DecodeResult::CorruptData;
  consumed_ = kLzmaHeaderBytes;
  inflater_ = MakeLzmaInflater(LzmaDictionaryBytes(code), prefix);
  return inflater_ ? DecodeResult::Ok : DecodeResult::CorruptData;
}

DecodeResult FrameReader::Decompress(std::span<std::byte> into, size_t& produced) {
  if (setup_ != DecodeResult::Ok) return setup_;
  produced = 0;
  while (produced == 0 && !frameEnded_) {
    if (inputPos_ == inputEnd_ && consumed_ < blockLength_) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(input_.size(), blockLength_ - consumed_));
      if (!block_(consumed_, std::span(input_.data(), want))) return DecodeResult::ReadError;
      consumed_ += want;
      inputPos_ = 0;
      inputEnd_ = want;
    }
    bool inputLeft = inputPos_ < inputEnd_;
    size_t out = 0;
    auto result = inflater_->Step(std::span(input_.data(), inputEnd_), inputPos_, into, out, frameEnded_);
    if (result != DecodeResult::Ok) return result;
    produced = out;
    // No input left and nothing came out: the block ends in the middle of the frame.
    if (!frameEnded_ && out == 0 && !inputLeft) return DecodeResult::CorruptData;
  }
  return DecodeResult::Ok;
}

DecodeResult FrameReader::Refill() {
  outputPos_ = outputEnd_ = 0;
  return Decompress(output_, outputEnd_);
}

DecodeResult FrameReader::Read(std::span<std::byte> out) {
  while (!out.empty()) {
    if (outputPos_ == outputEnd_) {
      // Nothing held back: a request as large as our buffer is decompressed straight into it,
      // which saves copying every byte once more.
      if (out.size() >= output_.size()) {
        size_t produced = 0;
        if (auto result = Decompress(out, produced); result != DecodeResult::Ok) return result;
        if (produced == 0) return DecodeResult::CorruptData;  // asked past the end of the frame
        out = out.subspan(produced);
        continue;
      }
      if (auto result = Refill(); result != DecodeResult::Ok) return result;
      if (outputEnd_ == 0) return DecodeResult::CorruptData;  // asked past the end of the frame
    }
    size_t take = std::min(out.size(), outputEnd_ - outputPos_);
    std::memcpy(out.data(), output_.data() + outputPos_, take);
    outputPos_ += take;
    out = out.subspan(take);
  }
  return DecodeResult::Ok;
}

DecodeResult FrameReader::ReadByte(uint8_t& byte) {
  if (outputPos_ == outputEnd_) {
    if (auto result = Refill(); result != DecodeResult::Ok) return result;
    if (outputEnd_ == 0) return DecodeResult::CorruptData;
  }
  byte = static_cast<uint8_t>(output_[outputPos_++]);
  return DecodeResult::Ok;
}

DecodeResult FrameReader::ReadVarint(uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    uint8_t byte = 0;
    if (auto result = ReadByte(byte); result != DecodeResult::Ok) return result;
    // The tenth byte may only carry the top bit of a 64-bit number.
    if (shift == 63 && byte > 1) return DecodeResult::CorruptData;
    value |= uint64_t{byte & 0x7fu} << shift;
    if ((byte & 0x80) == 0) return DecodeResult::Ok;
  }
  return DecodeResult::CorruptData;
}

DecodeResult FrameReader::Finish() {
  if (setup_ != DecodeResult::Ok) return setup_;
  if (outputPos_ != outputEnd_) return DecodeResult::CorruptData;
  // The stream may still owe its end (an empty last block, a checksum, LZMA2's end marker):
  // nothing more may come out.
  while (!frameEnded_) {
    if (auto result = Refill(); result != DecodeResult::Ok) return result;
    if (outputEnd_ != 0) return DecodeResult::CorruptData;
  }
  if (inputPos_ != inputEnd_ || consumed_ != blockLength_) return DecodeResult::CorruptData;
  return DecodeResult::Ok;
}

}  // namespace codec
