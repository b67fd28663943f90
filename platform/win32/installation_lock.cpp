// Win32 backend of the installation lock: a lock file opened without write sharing and deleted
// on close, so the system removes it when the holder ends, however it ends.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/win32/files_wide_names.h"

namespace platform {
namespace {

// The process id the holder wrote; 0 when it can't be read. The holder shares reading and
// deleting only, so this opens it for reading and shares everything.
DWORD HolderOf(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char text[32] = {};
  DWORD length = 0;
  BOOL read = ReadFile(file, text, sizeof text - 1, &length, nullptr);
  CloseHandle(file);
  if (!read || length == 0) return 0;
  return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

}  // namespace

std::unique_ptr<InstallationLock> InstallationLock::Acquire(const std::string& folder, LockOutcome& outcome) {
  outcome = LockOutcome::Failed;
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += kInstallationLockName;
  std::wstring name = win32::SystemPath(path);
  // A lock file whose holder has just closed it is still there, pending deletion, for a moment.
  for (int attempt = 0; attempt < 20; ++attempt) {
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      if (error == ERROR_SHARING_VIOLATION) {
        DWORD holder = HolderOf(name);
        outcome = holder == GetCurrentProcessId() ? LockOutcome::HeldByThisProcess : LockOutcome::HeldByAnotherProcess;
        return nullptr;
      }
      if (error == ERROR_ACCESS_DENIED) {
        Sleep(5);
        continue;
      }
      return nullptr;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
      CloseHandle(file);
      return nullptr;
    }
    std::string pid = std::to_string(GetCurrentProcessId());
    DWORD written = 0;
    if (!SetEndOfFile(file) || !WriteFile(file, pid.data(), static_cast<DWORD>(pid.size()), &written, nullptr) ||
        written != pid.size()) {
      CloseHandle(file);
      return nullptr;
    }
    outcome = LockOutcome::Acquired;
    return std::unique_ptr<InstallationLock>(new InstallationLock(path, reinterpret_cast<intptr_t>(file)));
  }
  return nullptr;
}

InstallationLock::~InstallationLock() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

}  // namespace platform
