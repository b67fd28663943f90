// Posix backend: folders, temporary files and 64-bit random-access files.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {

char PathSeparator() { return '/'; }

std::string OwnModulePath() {
  // readlink says nothing of the length it needs: a link that filled the buffer may be cut.
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  std::string folder = (dir && *dir) ? dir : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

std::unique_ptr<File> File::Open(const std::string& path, Mode mode) {
  // Without O_NONBLOCK, opening a named pipe for reading waits for a writer, for ever.
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::CreateTruncate: flags |= O_RDWR | O_CREAT; break;
  }
  int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) return nullptr;
  struct stat info {};
  // Truncated only once it is known to be a file: O_TRUNC on a device would act on the device.
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
      (mode == Mode::CreateTruncate && ftruncate(fd, 0) != 0)) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<File>(new File(fd));
}

File::~File() { close(static_cast<int>(handle_)); }

std::optional<uint64_t> File::Size() const {
  struct stat info {};
  if (fstat(static_cast<int>(handle_), &info) != 0) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

bool File::ReadAt(uint64_t offset, std::span<std::byte> buffer) const {
  size_t done = 0;
  while (done < buffer.size()) {
    ssize_t n = pread(static_cast<int>(handle_), buffer.data() + done, buffer.size() - done,
                      static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool File::WriteAt(uint64_t offset, std::span<const std::byte> data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = pwrite(static_cast<int>(handle_), data.data() + done, data.size() - done,
                       static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool File::Flush() { return fsync(static_cast<int>(handle_)) == 0; }

void File::StartWriteback(uint64_t offset, uint64_t length) {
  // Starts the writes and returns; a failure here only leaves the work to Flush.
  sync_file_range(static_cast<int>(handle_), static_cast<off_t>(offset), static_cast<off_t>(length),
                  SYNC_FILE_RANGE_WRITE);
}

}  // namespace platform
