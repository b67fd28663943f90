// Writing JSON for release scripts: strings escaped so that any bytes give valid JSON.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mkpatch {

// `text` as a JSON string, quotes included. Valid UTF-8 passes as it is; control characters, the
// quote and the backslash are escaped; a byte that is not part of valid UTF-8 is written as the
// character of the same number (as Latin-1 would read it), so the result is always valid JSON.
std::string JsonString(std::string_view text);

// A 64-bit hash as 16 lower-case hex digits; 128 bits as 32, the high half first, as xxhsum
// prints an XXH3-128.
std::string HexDigits(uint64_t value);
std::string HexDigits(uint64_t high, uint64_t low);

}  // namespace mkpatch
