// Any text as a Wine prefix's system.reg: the reader keeps what it can and never fails otherwise.
// With an odd first byte the text follows a header line of the key looked up, so that the fuzzer
// reaches the value parser at once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/desktop.h"
#include "platform/posix/system_reg.h"

namespace {

void Look(std::string_view text, const std::string& key, const std::string& valueName) {
  try {
    std::string value = platform::systemreg::LookupString(text, key, valueName);
    if (value.find('\0') != std::string::npos) std::abort();  // a text ends at its first zero
  } catch (const platform::FrameworkError&) {
    // a value of the wrong type: what the error box is for
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 1) text = "WINE REGISTRY Version 2\n[Software\\\\Wow6432Node\\\\Quillmer\\\\Orvan] 1\n" + text;

  auto registry = platform::systemreg::Parse(text);
  int looked = 0;
  for (const auto& [key, entry] : registry.Keys) {
    for (const auto& [name, value] : entry.Values) {
      if (looked++ == 16) return 0;
      Look(text, key, name);
    }
  }
  Look(text, "Software\\Quillmer\\Orvan", "Install Path");
  Look(text, "Software\\Quillmer\\Orvan", "");
  return 0;
}
