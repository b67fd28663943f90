// Parses Wine's registry text: "[key] stamp" headers, then "name"=data lines, in Wine's escapes.
#include "platform/posix/system_reg.h"

#include <algorithm>
#include <optional>

#include "platform/desktop.h"
#include "platform/posix/utf8_case.h"

namespace platform::systemreg {

namespace {

using posix::AppendUtf8;

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Fold(c);
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Wine writes characters outside ASCII as UTF-16 code units; pairs of surrogates make one
// character, a lone surrogate becomes U+FFFD.
class Utf16ToUtf8 {
 public:
  explicit Utf16ToUtf8(std::string& out) : out_(out) {}
  void Unit(uint32_t unit) {
    if (high_ && unit >= 0xDC00 && unit <= 0xDFFF) {
      AppendUtf8(out_, 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
      high_ = 0;
      return;
    }
    Flush();
    if (unit >= 0xD800 && unit <= 0xDBFF)
      high_ = unit;
    else
      AppendUtf8(out_, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
  }
  void Byte(char c) {  // a raw byte of the file, UTF-8 already
    Flush();
    out_ += c;
  }
  void Flush() {
    if (high_) AppendUtf8(out_, 0xFFFD);
    high_ = 0;
  }

 private:
  std::string& out_;
  uint32_t high_ = 0;
};

// Decodes an escaped text from `pos` up to the unescaped `end` character, leaving `pos` after it.
// Nothing when the line ends first.
std::optional<std::string> Unescape(std::string_view line, size_t& pos, char end) {
  std::string out;
  Utf16ToUtf8 text(out);
  while (pos < line.size()) {
    char c = line[pos++];
    if (c == end) {
      text.Flush();
      return out;
    }
    if (c != '\\') {
      text.Byte(c);
      continue;
    }
    if (pos >= line.size()) return std::nullopt;
    c = line[pos++];
    switch (c) {
      case 'a': text.Unit('\a'); break;
      case 'b': text.Unit('\b'); break;
      case 'e': text.Unit(0x1B); break;
      case 'f': text.Unit('\f'); break;
      case 'n': text.Unit('\n'); break;
      case 'r': text.Unit('\r'); break;
      case 't': text.Unit('\t'); break;
      case 'v': text.Unit('\v'); break;
      case 'x': {
        uint32_t unit = 0;
        int digits = 0;
        for (; digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0; ++digits)
          unit = unit * 16 + static_cast<uint32_t>(HexDigit(line[pos++]));
        if (digits == 0)
          text.Unit('x');
        else
          text.Unit(unit);
        break;
      }
      default:
        if (c >= '0' && c <= '7') {
          uint32_t unit = static_cast<uint32_t>(c - '0');
          for (int digits = 1; digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++digits)
            unit = unit * 8 + static_cast<uint32_t>(line[pos++] - '0');
          text.Unit(unit);
        } else {
          text.Byte(c);
        }
    }
  }
  return std::nullopt;
}

// The lines of the text, with "\r" endings trimmed.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = end + 1;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// "hex:" data: bytes as two-digit hex separated by commas; a line ending in '\' goes on in the next.
std::optional<std::string> ParseHex(std::string_view data, Lines& lines) {
  std::string bytes;
  for (;;) {
    size_t pos = 0;
    while (pos < data.size()) {
      char c = data[pos];
      if (c == ',' || c == ' ' || c == '\t') {
        ++pos;
      } else if (c == '\\' && pos + 1 == data.size()) {
        break;
      } else if (pos + 1 < data.size() && HexDigit(c) >= 0 && HexDigit(data[pos + 1]) >= 0) {
        bytes += static_cast<char>(HexDigit(c) * 16 + HexDigit(data[pos + 1]));
        pos += 2;
      } else {
        return std::nullopt;
      }
    }
    if (data.empty() || data.back() != '\\') return bytes;
    if (!lines.Next(data)) return bytes;
  }
}

std::string Utf16LeText(const std::string& bytes) {
  std::string out;
  Utf16ToUtf8 text(out);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.Unit(static_cast<uint8_t>(bytes[i]) | (static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8));
  text.Flush();
  return out;
}

// "(N):" with N in hex, as in str(2): and hex(7):.
std::optional<uint32_t> TypeNumber(std::string_view data, size_t& pos) {
  if (pos >= data.size() || data[pos] != '(') return std::nullopt;
  uint32_t type = 0;
  size_t at = pos + 1;
  int digits = 0;
  for (; at < data.size() && HexDigit(data[at]) >= 0 && digits < 8; ++at, ++digits)
    type = type * 16 + static_cast<uint32_t>(HexDigit(data[at]));
  if (digits == 0 || data.substr(at, 2) != "):") return std::nullopt;
  pos = at + 2;
  return type;
}

// One "name"=data or @=data line; nothing when it is malformed.
std::optional<std::pair<std::string, Value>> ParseValue(std::string_view line, Lines& lines) {
  size_t pos = 0;
  std::string name;
  if (line[0] == '@') {
    pos = 1;
  } else {
    pos = 1;
    auto decoded = Unescape(line, pos, '"');
    if (!decoded) return std::nullopt;
    name = Lower(*decoded);
  }
  if (pos >= line.size() || line[pos] != '=') return std::nullopt;
  std::string_view data = line.substr(pos + 1);

  Value value;
  size_t at = 0;
  if (data.starts_with("\"")) {
    value.Type = kString;
    at = 1;
  } else if (data.starts_with("str:\"")) {
    value.Type = kString;
    at = 5;
  } else if (data.starts_with("str(")) {
    at = 3;
    auto type = TypeNumber(data, at);
    if (!type || at >= data.size() || data[at] != '"') return std::nullopt;
    value.Type = *type;
    ++at;
  } else if (data.starts_with("dword:")) {
    value.Type = kDword;
    return std::pair{name, value};
  } else if (data.starts_with("hex")) {
    at = 3;
    if (data.substr(at, 1) == ":") {
      value.Type = kBinary;
      ++at;
    } else {
      auto type = TypeNumber(data, at);
      if (!type) return std::nullopt;
      value.Type = *type;
    }
    auto bytes = ParseHex(data.substr(at), lines);
    if (!bytes) return std::nullopt;
    if (value.Type == kString || value.Type == kExpandString) value.Text = Utf16LeText(*bytes);
    return std::pair{name, value};
  } else {
    return std::nullopt;
  }
  auto text = Unescape(data, at, '"');
  if (!text) return std::nullopt;
  value.Text = std::move(*text);
  return std::pair{name, value};
}

}  // namespace

std::string NormaliseKeyName(std::string_view name) {
  std::string out;
  size_t pos = 0;
  while (pos < name.size()) {
    size_t end = name.find('\\', pos);
    if (end == std::string_view::npos) end = name.size();
    if (end > pos) {
      if (!out.empty()) out += '\\';
      out += Lower(name.substr(pos, end - pos));
    }
    pos = end + 1;
  }
  return out;
}

Registry Parse(std::string_view text, const std::function<bool(const std::string&)>& wanted) {
  Registry registry;
  Lines lines(text);
  Key* current = nullptr;
  std::string_view line;
  while (lines.Next(line)) {
    if (line.empty()) continue;
    if (line[0] == '[') {
      size_t pos = 1;
      auto name = Unescape(line, pos, ']');
      current = nullptr;
      if (!name) continue;
      std::string key = NormaliseKeyName(*name);
      if (!wanted || wanted(key)) current = &registry.Keys[key];
    } else if (line.starts_with("#arch=")) {
      registry.Win32Prefix = line.substr(6) == "win32";
    } else if (line == "#link") {
      if (current) current->IsLink = true;
    } else if (current && (line[0] == '"' || line[0] == '@')) {
      if (auto value = ParseValue(line, lines)) current->Values.push_back(std::move(*value));
    }
    // Anything else: comments, "#time=" stamps, and the indented continuation lines of values
    // of keys not kept, which begin with neither '[' nor a quote.
  }
  return registry;
}

std::string LookupString(std::string_view text, const std::string& key, const std::string& valueName) {
  std::string asNamed = NormaliseKeyName(key);
  std::vector<std::string> views;
  const std::string software = "software\\";
  if (asNamed.starts_with(software) && !asNamed.starts_with(software + "wow6432node"))
    views.push_back(software + "wow6432node\\" + asNamed.substr(software.size()));
  views.push_back(asNamed);

  Registry registry = Parse(text, [&](const std::string& name) {
    return std::find(views.begin(), views.end(), name) != views.end();
  });
  if (registry.Win32Prefix) views.erase(views.begin(), views.end() - 1);

  for (const std::string& view : views) {
    auto found = registry.Keys.find(view);
    // A link (such as a key that both views share) holds no values of its own: the key it
    // points to is the one as named.
    if (found == registry.Keys.end() || found->second.IsLink) continue;
    std::string name = Lower(valueName);
    const Value* value = nullptr;
    for (const auto& [valueKey, candidate] : found->second.Values)
      if (valueKey == name) value = &candidate;  // a later line of the same name replaces it
    if (!value) return {};
    if (value->Type != kString && value->Type != kExpandString)
      throw FrameworkError("Invalid data type for '" + valueName + "'");
    return value->Text.substr(0, value->Text.find('\0'));
  }
  return {};
}

}  // namespace platform::systemreg
