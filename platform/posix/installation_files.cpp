// Posix backend of the installation files: names resolved as Windows would, renames, links, folders.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/files.h"
#include "platform/posix/name_resolver.h"

namespace platform {
namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

PathKind KindOf(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return PathKind::Missing;
  if (S_ISREG(info.st_mode)) return PathKind::File;
  if (S_ISDIR(info.st_mode)) return PathKind::Folder;
  return PathKind::Other;
}

std::string ResolveInFolder(const std::string& folder, const std::string& relative) {
  std::string path = folder;
  bool missing = false;  // below a missing component nothing can exist
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    std::string name = relative.substr(start, end - start);
    if (!name.empty()) {
      if (!missing) {
        // An empty folder joins to the root, so the root is where the first name is looked up.
        std::optional<std::string> onDisk = posix::EntryOnDisk(path.empty() ? "/" : path, name);
        missing = !onDisk;
        if (onDisk) name = std::move(*onDisk);
      }
      path += "/" + name;
    }
    start = end + 1;
  }
  return path;
}

bool RenamePath(const std::string& from, const std::string& to) {
  if (Exists(to)) return false;
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool LinkFile(const std::string& existing, const std::string& link) {
  return ::link(existing.c_str(), link.c_str()) == 0;
}

bool ReplaceByRename(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool FlushFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

bool RemoveEmptyFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool CanReplaceFile(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  // The owner's write bit is what a read-only attribute means here, even to root.
  if ((info.st_mode & S_IWUSR) == 0) return false;
  std::string folder = path.substr(0, path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/'));
  return access(path.c_str(), W_OK) == 0 && access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
}

bool CopyFileMode(const std::string& from, const std::string& to) {
  struct stat info {};
  if (stat(from.c_str(), &info) != 0) return false;
  return chmod(to.c_str(), info.st_mode & 07777) == 0;
}

std::optional<std::string> FolderIdentity(const std::string& folder) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  return std::to_string(static_cast<uint64_t>(info.st_ino));
}

std::unique_ptr<MappedFile> MappedFile::Open(const std::string& path) {
  // Not blocked by a named pipe; the type test below refuses it.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  auto size = static_cast<size_t>(info.st_size);
  const void* data = nullptr;
  if (size > 0) {
    data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED) {
      close(fd);
      return nullptr;
    }
  }
  return std::unique_ptr<MappedFile>(new MappedFile(data, size, fd));
}

void MappedFile::Release(std::span<const std::byte> bytes) const {
  auto base = reinterpret_cast<uintptr_t>(data_);
  auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  auto begin = reinterpret_cast<uintptr_t>(bytes.data());
  auto end = begin + bytes.size();
  if (bytes.empty() || begin < base || end > base + size_) return;
  // Whole pages, rounded outward: the mapping is read-only, so a page dropped too many is only
  // read again.
  begin &= ~(page - 1);
  end = (end + page - 1) & ~(page - 1);
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

MappedFile::~MappedFile() {
  if (size_ > 0) munmap(const_cast<void*>(data_), size_);
  close(static_cast<int>(handle_));
}

}  // namespace platform
