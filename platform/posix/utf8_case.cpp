// Posix backend: lower-casing UTF-8 by character.
#include "platform/posix/utf8_case.h"

namespace platform::posix {
namespace {

// The code point that starts at text[at] and its length; length 0 for anything that is not
// well-formed UTF-8 (a stray continuation byte, a cut sequence, an overlong form, a surrogate).
char32_t Decode(std::string_view text, size_t at, size_t& length) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  unsigned char lead = byte(0);
  length = 0;
  if (lead < 0x80) {
    length = 1;
    return lead;
  }
  size_t count;
  char32_t point;
  char32_t least;
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 2, point = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 3, point = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 4, point = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - at < count) return 0;
  for (size_t i = 1; i < count; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    point = (point << 6) | (byte(i) & 0x3F);
  }
  if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
  length = count;
  return point;
}

bool Between(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }

// Where capital and small letters alternate, the capital on an even code point (or an odd one).
char32_t PairedLower(char32_t c, bool capitalOdd) {
  bool odd = (c & 1) != 0;
  return odd == capitalOdd ? c + 1 : c;
}

char32_t LowerLetter(char32_t c) {
  if (Between(c, 'A', 'Z')) return c + 32;
  if (c < 0xC0) return c;
  // Latin-1 and Latin Extended-A.
  if (Between(c, 0xC0, 0xDE) && c != 0xD7) return c + 32;
  if (c == 0x130) return 'i';  // capital I with dot above
  if (Between(c, 0x100, 0x137) || Between(c, 0x14A, 0x177)) return PairedLower(c, false);
  if (Between(c, 0x139, 0x148) || Between(c, 0x179, 0x17E)) return PairedLower(c, true);
  if (c == 0x178) return 0xFF;
  // Greek.
  if (c == 0x386) return 0x3AC;
  if (Between(c, 0x388, 0x38A)) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (Between(c, 0x38E, 0x38F)) return c + 63;
  if (Between(c, 0x391, 0x3AB) && c != 0x3A2) return c + 32;
  // Cyrillic.
  if (Between(c, 0x400, 0x40F)) return c + 80;
  if (Between(c, 0x410, 0x42F)) return c + 32;
  if (Between(c, 0x460, 0x481) || Between(c, 0x48A, 0x4BF) || Between(c, 0x4D0, 0x52F)) return PairedLower(c, false);
  if (c == 0x4C0) return 0x4CF;
  if (Between(c, 0x4C1, 0x4CE)) return PairedLower(c, true);
  // Latin Extended Additional (Vietnamese, Welsh and others).
  if (Between(c, 0x1E00, 0x1E95) || Between(c, 0x1EA0, 0x1EFF)) return PairedLower(c, false);
  return c;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

size_t CharacterLength(std::string_view text, size_t at) {
  size_t length = 0;
  Decode(text, at, length);
  return length == 0 ? 1 : length;
}

std::string LowerCaseUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    size_t length = 0;
    char32_t point = Decode(text, at, length);
    if (length == 0) {
      out += text[at++];  // not UTF-8: kept as it is
      continue;
    }
    AppendUtf8(out, LowerLetter(point));
    at += length;
  }
  return out;
}

}  // namespace platform::posix
