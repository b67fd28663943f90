// Writing to "<name>.partial-<pid>" keeps a failed build from leaving a half-written output.
#include "mkpatch/output_file.h"

#include <stdexcept>
#include <vector>

namespace mkpatch {

OutputFile::OutputFile(const std::string& target)
    : target_(target), partial_(target + ".partial-" + std::to_string(platform::ProcessId())) {
  file_ = platform::File::Open(partial_, platform::File::Mode::CreateTruncate);
  if (!file_) throw std::runtime_error("cannot write " + target);
}

OutputFile::~OutputFile() {
  if (committed_) return;
  file_.reset();  // Windows removes no file that is still open
  platform::RemoveFile(partial_);
}

void OutputFile::Write(std::span<const std::byte> bytes) {
  if (!file_ || !file_->WriteAt(size_, bytes)) throw std::runtime_error("cannot write " + target_ + " (disk full?)");
  size_ += bytes.size();
}

void OutputFile::CopyFrom(const std::string& source) {
  auto in = platform::File::Open(source, platform::File::Mode::Read);
  auto size = in ? in->Size() : std::nullopt;
  if (!size) throw std::runtime_error("cannot read " + source);
  std::vector<std::byte> buffer(1 << 20);
  for (uint64_t at = 0; at < *size;) {
    auto piece = std::span(buffer).first(static_cast<size_t>(std::min<uint64_t>(buffer.size(), *size - at)));
    if (!in->ReadAt(at, piece)) throw std::runtime_error("cannot read " + source);
    Write(piece);
    at += piece.size();
  }
}

void OutputFile::Finish() {
  if (!file_) return;
  bool flushed = file_->Flush();
  file_.reset();
  if (!flushed) throw std::runtime_error("cannot write " + target_ + " (disk full?)");
}

void OutputFile::Commit(bool executable) {
  Finish();
  if (executable && !platform::MarkExecutable(partial_))
    throw std::runtime_error("cannot make " + target_ + " executable");
  if (!platform::ReplaceByRename(partial_, target_)) throw std::runtime_error("cannot write " + target_);
  committed_ = true;
}

}  // namespace mkpatch
