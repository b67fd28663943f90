// An output file that appears whole or not at all: written beside its target, then renamed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/files.h"

namespace mkpatch {

class OutputFile {
 public:
  explicit OutputFile(const std::string& target);
  ~OutputFile();  // removes the partial file unless Commit succeeded
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::span<const std::byte> bytes);
  void CopyFrom(const std::string& source);
  uint64_t Size() const { return size_; }
  // Flushes and closes the partial file, which can then be read back before it is committed.
  void Finish();
  const std::string& PartialPath() const { return partial_; }
  // Finishes, marks the file executable when asked, and renames it onto the target.
  void Commit(bool executable);

 private:
  std::string target_;
  std::string partial_;
  std::unique_ptr<platform::File> file_;
  uint64_t size_ = 0;
  bool committed_ = false;
};

}  // namespace mkpatch
