// Win32 backend: the engine library through LoadLibrary, and the engine resource of the program.
#include "platform/desktop.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

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
  HMODULE handle = LoadLibraryA(path.c_str());
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

std::unique_ptr<HeldLibraryFile> HeldLibraryFile::Write(const std::string& folder, const std::string& prefix,
                                                        std::span<const std::byte> image) {
  char name[MAX_PATH + 1];
  if (GetTempFileNameA(folder.c_str(), prefix.c_str(), 0, name) == 0) return nullptr;
  HANDLE writer = CreateFileA(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool written = writer != INVALID_HANDLE_VALUE && WriteWhole(writer, image);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  // Held from here on: others may read it (the loader does) but not write, rename or delete it.
  HANDLE reader = written ? CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr)
                          : INVALID_HANDLE_VALUE;
  if (reader == INVALID_HANDLE_VALUE) {
    DeleteFileA(name);
    return nullptr;
  }
  return std::unique_ptr<HeldLibraryFile>(new HeldLibraryFile(name, reinterpret_cast<intptr_t>(reader)));
}

HeldLibraryFile::~HeldLibraryFile() {
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  DeleteFileA(path_.c_str());
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
