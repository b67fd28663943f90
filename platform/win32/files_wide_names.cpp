// Win32 backend: converting the program's names for the wide calls, and the long-path prefix.
#include "platform/win32/files_wide_names.h"

#include <windows.h>

namespace platform::win32 {

std::wstring WideText(const std::string& text) {
  if (text.empty()) return {};
  int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string NarrowText(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  int bytes = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

namespace {

bool HasPrefix(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// The full path with "." and ".." resolved and '/' turned into '\': after "\\?\" the system
// takes every character literally.
std::wstring FullPath(const std::wstring& path) {
  std::wstring full(path.size() + MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return path;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // the size it needs, the terminating zero included
  }
}

}  // namespace

std::wstring SystemPath(const std::string& path) {
  std::wstring wide = WideText(path);
  if (wide.size() < kLongPath || HasPrefix(wide, L"\\\\?\\") || HasPrefix(wide, L"\\\\.\\")) return wide;
  std::wstring full = FullPath(wide);
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  if (HasPrefix(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return full;  // no drive nor share to anchor a prefix on: as the system makes of it
}

}  // namespace platform::win32
