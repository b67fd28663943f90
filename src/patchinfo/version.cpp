// ParseVersionStamp: a formatted scan of "%d.%d.%d.%d", written out so that it is exact and bounded.
#include "src/patchinfo/version.h"

#include <cctype>
#include <limits>

namespace {

bool IsScanSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

enum class Scan { Converted, NoMatch, EndOfInput };

// One %d: leading white space, an optional sign, decimal digits. Out-of-range values saturate.
Scan ScanNumber(const std::string& text, size_t& pos, int32_t& value) {
  while (pos < text.size() && IsScanSpace(text[pos])) ++pos;
  if (pos == text.size()) return Scan::EndOfInput;
  size_t at = pos;
  bool negative = false;
  if (text[at] == '+' || text[at] == '-') negative = text[at++] == '-';
  if (at == text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) return Scan::NoMatch;
  int64_t magnitude = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    magnitude = std::min(kLimit, magnitude * 10 + (text[at++] - '0'));
  }
  int64_t signedValue = negative ? -magnitude : std::min(magnitude, kLimit - 1);
  value = static_cast<int32_t>(signedValue);
  pos = at;
  return Scan::Converted;
}

}  // namespace

void ParseVersionStamp(Version& target, const std::string& text) {
  target.Text = text;
  target.Valid = true;
  size_t pos = 0;
  int32_t converted = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != '.') break;
      ++pos;
    }
    Scan result = ScanNumber(text, pos, target.Numbers[i]);
    if (result == Scan::EndOfInput && converted == 0) {
      target.FieldCount = -1;
      return;
    }
    if (result != Scan::Converted) break;
    ++converted;
  }
  target.FieldCount = converted;
}
