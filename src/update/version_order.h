// Versions are compared by their texts, byte by byte as unsigned characters: "1.10" < "1.9".
#pragma once

#include <string>

namespace update {

inline bool IsMoreRecent(const std::string& a, const std::string& b) {
  return b.compare(a) < 0;  // std::string compares as unsigned char (char_traits<char>::lt)
}

}  // namespace update
