// Win32 backend of the installation files: renames, links, folders, locked-file checks.
#include <windows.h>
#include <io.h>

#include <cstdio>

#include "platform/files.h"
#include "platform/win32/files_wide_names.h"

namespace platform {
namespace {

std::string WithBackslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

}  // namespace

PathKind KindOf(const std::string& path) {
  DWORD attributes = GetFileAttributesW(win32::SystemPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::Other;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
  return PathKind::File;
}

// The file system already ignores case; the names are only joined.
std::string ResolveInFolder(const std::string& folder, const std::string& relative) {
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  return path + WithBackslashes(relative);
}

bool RenamePath(const std::string& from, const std::string& to) {
  return MoveFileExW(win32::SystemPath(from).c_str(), win32::SystemPath(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool LinkFile(const std::string& existing, const std::string& link) {
  return CreateHardLinkW(win32::SystemPath(link).c_str(), win32::SystemPath(existing).c_str(), nullptr) != 0;
}

bool ReplaceByRename(const std::string& from, const std::string& to) {
  return MoveFileExW(win32::SystemPath(from).c_str(), win32::SystemPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool FlushFolder(const std::string&) { return true; }

bool MakeFolder(const std::string& path) { return CreateDirectoryW(win32::SystemPath(path).c_str(), nullptr) != 0; }

bool RemoveEmptyFolder(const std::string& path) { return RemoveDirectoryW(win32::SystemPath(path).c_str()) != 0; }

bool CanReplaceFile(const std::string& path) {
  std::wstring name = win32::SystemPath(path);
  DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  // Exclusive access fails while the game or anyone else has the file open.
  HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

bool CopyFileMode(const std::string&, const std::string&) { return true; }

std::optional<std::string> FolderIdentity(const std::string& folder) {
  // Backup semantics let CreateFile open a folder; no access is needed to read its identity.
  HANDLE handle = CreateFileW(win32::SystemPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  bool read = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!read || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
  uint64_t index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return std::to_string(index);
}

std::unique_ptr<MappedFile> MappedFile::Open(const std::string& path) {
  HANDLE file = CreateFileW(win32::SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
    CloseHandle(file);
    return nullptr;
  }
  const void* data = nullptr;
  if (size.QuadPart > 0) {
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping) {
      data = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
      CloseHandle(mapping);  // the view keeps the mapping alive
    }
    if (!data) {
      CloseHandle(file);
      return nullptr;
    }
  }
  return std::unique_ptr<MappedFile>(
      new MappedFile(data, static_cast<size_t>(size.QuadPart), reinterpret_cast<intptr_t>(file)));
}

void MappedFile::Release(std::span<const std::byte> bytes) const {
  auto base = reinterpret_cast<uintptr_t>(data_);
  auto begin = reinterpret_cast<uintptr_t>(bytes.data());
  if (bytes.empty() || begin < base || begin + bytes.size() > base + size_) return;
  // Unlocking pages that are not locked takes them out of the working set (the call reports
  // ERROR_NOT_LOCKED, and does it anyway); they stay in the file cache.
  VirtualUnlock(const_cast<std::byte*>(bytes.data()), bytes.size());
}

MappedFile::~MappedFile() {
  if (data_) UnmapViewOfFile(data_);
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace platform
