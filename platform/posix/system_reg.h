// The reader of a Wine prefix's system.reg, the HKEY_LOCAL_MACHINE of a Wine installation.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::systemreg {

enum ValueType : uint32_t { kString = 1, kExpandString = 2, kBinary = 3, kDword = 4, kMultiString = 7 };

struct Value {
  uint32_t Type = 0;
  // The value's characters in UTF-8 when it holds text (a string form, or hex(1)/hex(2) data);
  // a zero character stays in it as '\0'.
  std::string Text;
};

struct Key {
  bool IsLink = false;  // "#link": a symbolic link whose own values are not the target's
  std::vector<std::pair<std::string, Value>> Values;  // name lower-cased; "" is the default value
};

struct Registry {
  bool Win32Prefix = false;  // "#arch=win32": no 32-bit view of its own
  std::map<std::string, Key> Keys;  // by normalised name (see NormaliseKeyName)
};

// Lower-cases A to Z and writes the components separated by single backslashes, without a
// leading or trailing one: how keys are compared, since the registry ignores case.
std::string NormaliseKeyName(std::string_view name);

// Reads the file's text. Only keys for which `wanted` (given the normalised name) says yes are
// kept; an empty `wanted` keeps all. Malformed lines are skipped.
Registry Parse(std::string_view text, const std::function<bool(const std::string&)>& wanted = {});

// The value `valueName` of `key` in the 32-bit view (Software\Wow6432Node for a key under
// Software, unless the prefix is a 32-bit one) or, when that view has no such key, as named.
// Empty when neither has the key or the value; FrameworkError for a value of another type
// than string or expandable string. The text ends at its first zero character.
std::string LookupString(std::string_view text, const std::string& key, const std::string& valueName);

}  // namespace platform::systemreg
