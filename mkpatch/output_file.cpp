// Writing to "<name>.partial-<pid>" keeps a failed build from leaving a half-written output.
#include "output_file.h"

#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace mkpatch {

namespace fs = std::filesystem;

OutputFile::OutputFile(const fs::path& target)
    : target_(target), partial_(target.string() + ".partial-" + std::to_string(getpid())) {
  out_.open(partial_, std::ios::binary | std::ios::trunc);
  if (!out_) throw std::runtime_error("cannot write " + target.string());
}

OutputFile::~OutputFile() {
  if (!committed_) {
    out_.close();
    std::error_code ignored;
    fs::remove(partial_, ignored);
  }
}

void OutputFile::Write(std::span<const std::byte> bytes) {
  out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out_) throw std::runtime_error("cannot write " + target_.string() + " (disk full?)");
  size_ += bytes.size();
}

void OutputFile::CopyFrom(const fs::path& source) {
  std::ifstream in(source, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + source.string());
  std::vector<char> buffer(1 << 20);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    auto got = static_cast<size_t>(in.gcount());
    if (got == 0) break;
    Write(std::as_bytes(std::span(buffer.data(), got)));
  }
  if (in.bad()) throw std::runtime_error("cannot read " + source.string());
}

void OutputFile::Commit(bool executable) {
  out_.flush();
  out_.close();
  if (!out_) throw std::runtime_error("cannot write " + target_.string() + " (disk full?)");
  if (executable) {
    std::error_code error;
    fs::permissions(partial_, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, error);
  }
  std::error_code error;
  fs::rename(partial_, target_, error);
  if (error) throw std::runtime_error("cannot write " + target_.string() + ": " + error.message());
  committed_ = true;
}

}  // namespace mkpatch
