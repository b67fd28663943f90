// An output file that appears whole or not at all: written beside its target, then renamed.
#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

namespace mkpatch {

class OutputFile {
 public:
  explicit OutputFile(const std::filesystem::path& target);
  ~OutputFile();  // removes the partial file unless Commit succeeded
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::span<const std::byte> bytes);
  void CopyFrom(const std::filesystem::path& source);
  uint64_t Size() const { return size_; }
  // Flushes, marks executable when asked, and renames onto the target.
  void Commit(bool executable);

 private:
  std::filesystem::path target_;
  std::filesystem::path partial_;
  std::ofstream out_;
  uint64_t size_ = 0;
  bool committed_ = false;
};

}  // namespace mkpatch
