// Win32 backend: the program's names (texts in the active code page) as the system's wide calls
// take them. The ANSI calls stop at MAX_PATH characters, prefix or not (and under Wine even with
// the manifest's longPathAware); the wide ones take a full path of any length after "\\?\".
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// The text in UTF-16, read in the active code page, as the ANSI calls read it.
std::wstring WideText(const std::string& text);
// The text in the active code page, as the ANSI calls give it ('?' where it has no character).
std::string NarrowText(const wchar_t* text, size_t length);
inline std::string NarrowText(const std::wstring& text) { return NarrowText(text.data(), text.size()); }

// The text a call such as GetCurrentDirectoryW writes, which tells the length it needs when the
// buffer is too short: asked for that length first, and again if the text grew in between;
// empty when the call fails.
template <typename Call>
std::wstring SizedText(Call call) {
  std::wstring buffer;
  DWORD length = call(0, nullptr);
  while (length > buffer.size()) {
    buffer.resize(length);
    length = call(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return {};
  }
  buffer.resize(length);
  return buffer;
}

// `path` for a wide file call. A path of kLongPath characters or more is made full and given the
// "\\?\" (or "\\?\UNC\") prefix, which lifts MAX_PATH; a shorter one goes as written, so that the
// system treats it exactly as the ANSI call did.
std::wstring SystemPath(const std::string& path);
// CreateDirectory's limit (MAX_PATH less room for an 8.3 name), the lowest of the file calls.
inline constexpr size_t kLongPath = 248;

}  // namespace platform::win32
