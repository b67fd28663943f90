// The program's string table: user-visible messages by number, filled in printf style.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The text of string `id`, empty when there is none.
std::string LoadAppString(int id);

namespace strings_detail {
// A std::string goes to printf as its characters; anything else as it is.
template <typename T>
const T& PrintfArgument(const T& value) {
  return value;
}
inline const char* PrintfArgument(const std::string& value) { return value.c_str(); }
}  // namespace strings_detail

// printf-style formatting into a text of the size it needs; a std::string fills a %s.
template <typename... Args>
std::string FormatText(const std::string& format, const Args&... args) {
  using strings_detail::PrintfArgument;
  int length = std::snprintf(nullptr, 0, format.c_str(), PrintfArgument(args)...);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  std::snprintf(buffer.data(), buffer.size(), format.c_str(), PrintfArgument(args)...);
  return std::string(buffer.data(), static_cast<size_t>(length));
}
