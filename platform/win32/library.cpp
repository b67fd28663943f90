// Win32 backend: the engine library through LoadLibrary, and the engine resource of the program.
#include "platform/desktop.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/win32/files_wide_names.h"

namespace platform {

namespace {
constexpr WORD kEngineResourceType = 20530;
constexpr WORD kEngineResourceId = 19274;
constexpr size_t kChunk = 1u << 20;

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length ? std::string(text, length) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  return message;
}

bool WriteWhole(HANDLE file, std::span<const std::byte> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD want = static_cast<DWORD>(std::min(bytes.size() - done, kChunk));
    DWORD put = 0;
    if (!WriteFile(file, bytes.data() + done, want, &put, nullptr) || put == 0) return false;
    done += put;
  }
  return true;
}

}  // namespace

std::span<const std::byte> EngineResource() {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(kEngineResourceId),
                              MAKEINTRESOURCEA(kEngineResourceType));
  if (!found) return {};
  HGLOBAL loaded = LoadResource(nullptr, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const std::byte*>(bytes), SizeofResource(nullptr, found)};
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path, std::string& reason) {
  HMODULE handle = LoadLibraryW(win32::SystemPath(path).c_str());
  if (!handle) {
    reason = SystemMessage(GetLastError());
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { FreeLibrary(static_cast<HMODULE>(handle_)); }

void* DynamicLibrary::EngineEntryPoint() const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), MAKEINTRESOURCEA(1)));
}

namespace {

// A new file "<prefix><process id>-<n>.tmp" in `folder`, open for writing; its name in `name`.
// GetTempFileName would do it only in a folder shorter than MAX_PATH.
HANDLE CreateUniqueFile(const std::string& folder, const std::string& prefix, std::string& name) {
  static std::atomic<unsigned> counter{0};
  std::string front = folder;
  if (!front.empty() && front.back() != '\\' && front.back() != '/') front += '\\';
  front += prefix + std::to_string(GetCurrentProcessId()) + "-";
  // Another process's leftover may hold a name: the next number is tried, up to a bound.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    name = front + std::to_string(counter++) + ".tmp";
    HANDLE file = CreateFileW(win32::SystemPath(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

std::unique_ptr<HeldLibraryFile> HeldLibraryFile::Write(const std::string& folder, const std::string& prefix,
                                                        std::span<const std::byte> image) {
  std::string name;
  HANDLE writer = CreateUniqueFile(folder, prefix, name);
  if (writer == INVALID_HANDLE_VALUE) return nullptr;
  bool written = WriteWhole(writer, image);
  CloseHandle(writer);
  std::wstring systemName = win32::SystemPath(name);
  // Held from here on: others may read it (the loader does) but not write, rename or delete it.
  HANDLE reader = written ? CreateFileW(systemName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr)
                          : INVALID_HANDLE_VALUE;
  if (reader == INVALID_HANDLE_VALUE) {
    DeleteFileW(systemName.c_str());
    return nullptr;
  }
  return std::unique_ptr<HeldLibraryFile>(new HeldLibraryFile(name, reinterpret_cast<intptr_t>(reader)));
}

HeldLibraryFile::~HeldLibraryFile() {
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  DeleteFileW(win32::SystemPath(path_).c_str());
}

bool HeldLibraryFile::Holds(std::span<const std::byte> image) const {
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || static_cast<uint64_t>(size.QuadPart) != image.size()) return false;
  std::vector<std::byte> buffer(kChunk);
  for (size_t offset = 0; offset < image.size();) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD want = static_cast<DWORD>(std::min(image.size() - offset, kChunk));
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), want, &got, &at) || got == 0) return false;
    if (std::memcmp(buffer.data(), image.data() + offset, got) != 0) return false;
    offset += got;
  }
  return true;
}

std::unique_ptr<DynamicLibrary> HeldLibraryFile::Load(std::string& reason) const {
  // The path can only name the held file: nobody can rename or delete it while it is held.
  return DynamicLibrary::Load(path_, reason);
}

}  // namespace platform
