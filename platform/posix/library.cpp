// Posix backend: the engine library through dlopen, and the engine image embedded in the program.
#include "platform/desktop.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

// Defined by the program that carries the engine (an assembled .incbin of the library, with its
// 4-byte length in front); absent, and so null, in programs that carry none.
extern "C" const unsigned char orvan_engine_resource[] __attribute__((weak));

namespace platform {

std::span<const std::byte> EngineResource() {
  if (!orvan_engine_resource) return {};
  uint32_t length = 0;
  std::memcpy(&length, orvan_engine_resource, sizeof length);
  return {reinterpret_cast<const std::byte*>(orvan_engine_resource), sizeof length + length};
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path, std::string& reason) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    reason = error ? error : "refused";
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { dlclose(handle_); }

void* DynamicLibrary::EngineEntryPoint() const { return dlsym(handle_, "PatchApply32"); }

namespace {

bool WriteWhole(int fd, std::span<const std::byte> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::unique_ptr<HeldLibraryFile> HeldLibraryFile::Write(const std::string& folder, const std::string& prefix,
                                                        std::span<const std::byte> image) {
  std::string pattern = folder + "/" + prefix + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);  // created 0600: only this user may write it
  if (fd < 0) return nullptr;
  std::unique_ptr<HeldLibraryFile> file(new HeldLibraryFile(name.data(), fd));
  if (!WriteWhole(fd, image)) return nullptr;  // deleted again by the destructor
  return file;
}

HeldLibraryFile::~HeldLibraryFile() {
  close(static_cast<int>(handle_));
  unlink(path_.c_str());
}

bool HeldLibraryFile::Holds(std::span<const std::byte> image) const {
  int fd = static_cast<int>(handle_);
  std::vector<std::byte> buffer(1 << 16);
  uint64_t offset = 0;
  for (;;) {
    ssize_t n = pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return offset == image.size();
    size_t got = static_cast<size_t>(n);
    if (offset + got > image.size() || std::memcmp(buffer.data(), image.data() + offset, got) != 0) return false;
    offset += got;
  }
}

std::unique_ptr<DynamicLibrary> HeldLibraryFile::Load(std::string& reason) const {
  // The descriptor's own name in /proc is the file that was written, whatever its path names now.
  std::string byDescriptor = "/proc/self/fd/" + std::to_string(handle_);
  bool procMounted = access(byDescriptor.c_str(), F_OK) == 0;
  return DynamicLibrary::Load(procMounted ? byDescriptor : path_, reason);
}

}  // namespace platform
