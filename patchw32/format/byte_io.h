// Bounded little-endian reading and writing of byte buffers: every read checks what is left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace payload {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::byte> bytes) : bytes_(bytes) {}

  size_t Remaining() const { return bytes_.size() - position_; }
  bool Failed() const { return failed_; }

  template <typename T>
  T Read() {
    T value = 0;
    if (!Take(sizeof(T))) return 0;
    for (size_t i = 0; i < sizeof(T); ++i)
      value |= static_cast<T>(std::to_integer<uint8_t>(bytes_[position_ - sizeof(T) + i])) << (8 * i);
    return value;
  }

  std::span<const std::byte> ReadBytes(size_t count) {
    if (!Take(count)) return {};
    return bytes_.subspan(position_ - count, count);
  }

  std::string ReadText(size_t count) {
    auto bytes = ReadBytes(count);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

 private:
  bool Take(size_t count) {
    if (failed_ || count > Remaining()) {
      failed_ = true;
      return false;
    }
    position_ += count;
    return true;
  }

  std::span<const std::byte> bytes_;
  size_t position_ = 0;
  bool failed_ = false;
};

class ByteWriter {
 public:
  template <typename T>
  void Write(T value) {
    for (size_t i = 0; i < sizeof(T); ++i)
      bytes_.push_back(static_cast<std::byte>(static_cast<uint64_t>(value) >> (8 * i)));
  }
  void WriteBytes(std::span<const std::byte> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
  void WriteText(const std::string& text) {
    WriteBytes(std::as_bytes(std::span(text.data(), text.size())));
  }
  std::vector<std::byte>& Bytes() { return bytes_; }

 private:
  std::vector<std::byte> bytes_;
};

}  // namespace payload
