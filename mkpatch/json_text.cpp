// JSON strings from the records and paths of a payload, which are bytes, usually UTF-8.
#include "mkpatch/json_text.h"

#include <cstdio>

namespace mkpatch {

namespace {

// The length of the valid UTF-8 sequence at `at`, or 0 when the bytes there are not one.
size_t Utf8Length(std::string_view text, size_t at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and code points past Unicode's end are not valid UTF-8.
  static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

void AppendEscape(std::string& out, unsigned code) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", code);
  out += escape;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (size_t at = 0; at < text.size();) {
    auto c = static_cast<unsigned char>(text[at]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++at;
    } else if (c < 0x20 || c == 0x7F) {
      AppendEscape(out, c);
      ++at;
    } else if (size_t length = Utf8Length(text, at)) {
      out.append(text.substr(at, length));
      at += length;
    } else {
      AppendEscape(out, c);
      ++at;
    }
  }
  return out + "\"";
}

std::string HexDigits(uint64_t value) {
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
  return digits;
}

std::string HexDigits(uint64_t high, uint64_t low) { return HexDigits(high) + HexDigits(low); }

}  // namespace mkpatch
