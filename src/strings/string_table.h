// The program's string table: user-visible messages by number, filled in printf style.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The text of string `id`, empty when there is none.
std::string LoadAppString(int id);

// printf-style formatting into a text of the size it needs.
template <typename... Args>
std::string FormatText(const std::string& format, Args... args) {
  int length = std::snprintf(nullptr, 0, format.c_str(), args...);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  std::snprintf(buffer.data(), buffer.size(), format.c_str(), args...);
  return std::string(buffer.data(), static_cast<size_t>(length));
}
