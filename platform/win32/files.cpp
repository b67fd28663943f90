// Win32 backend: folders, temporary files and 64-bit random-access files.
#include "platform/files.h"

#include <windows.h>

#include <string>

#include "platform/win32/files_wide_names.h"

namespace platform {

char PathSeparator() { return '\\'; }

std::string OwnModulePath() {
  // The call says nothing of the length it needs: a name that filled the buffer may be cut.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return win32::NarrowText(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string TempFolder() {
  std::string folder = win32::NarrowText(win32::SizedText(GetTempPathW));
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(win32::SystemPath(path).c_str()) != 0; }

std::unique_ptr<File> File::Open(const std::string& path, Mode mode) {
  DWORD access = GENERIC_READ;
  DWORD share = FILE_SHARE_READ;
  DWORD disposition = OPEN_EXISTING;
  if (mode == Mode::ReadWrite) access |= GENERIC_WRITE, share = 0;
  if (mode == Mode::CreateTruncate) access |= GENERIC_WRITE, share = 0, disposition = CREATE_ALWAYS;
  HANDLE handle = CreateFileW(win32::SystemPath(path).c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // A pipe or a device behind a file's name is not a file.
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(handle);
    return nullptr;
  }
  return std::unique_ptr<File>(new File(reinterpret_cast<intptr_t>(handle)));
}

File::~File() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

std::optional<uint64_t> File::Size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &size)) return std::nullopt;
  return static_cast<uint64_t>(size.QuadPart);
}

namespace {
OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}
constexpr size_t kChunk = 1u << 30;  // ReadFile and WriteFile take 32-bit counts
}  // namespace

bool File::ReadAt(uint64_t offset, std::span<std::byte> buffer) const {
  size_t done = 0;
  while (done < buffer.size()) {
    OVERLAPPED at = At(offset + done);
    DWORD want = static_cast<DWORD>(std::min(buffer.size() - done, kChunk));
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer.data() + done, want, &got, &at) || got == 0)
      return false;
    done += got;
  }
  return true;
}

bool File::WriteAt(uint64_t offset, std::span<const std::byte> data) {
  size_t done = 0;
  while (done < data.size()) {
    OVERLAPPED at = At(offset + done);
    DWORD want = static_cast<DWORD>(std::min(data.size() - done, kChunk));
    DWORD put = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), data.data() + done, want, &put, &at) || put == 0)
      return false;
    done += put;
  }
  return true;
}

bool File::Flush() { return FlushFileBuffers(reinterpret_cast<HANDLE>(handle_)) != 0; }

// The cache manager's lazy writer writes dirty pages back within a second or so by itself.
void File::StartWriteback(uint64_t, uint64_t) {}

}  // namespace platform
