// The string table's texts, numbered as the Windows STRINGTABLE resource numbers them.
#include "src/strings/string_table.h"

#include <map>

#include "platform/desktop.h"

std::string LoadAppString(int id) {
  // The Windows program shows its STRINGTABLE, made from the same texts as this table.
  if (auto text = platform::LoadStringResource(id)) return *text;
  static const std::map<int, std::string> kStrings = {
#define ORVAN_STRING(number, text) {number, text},
#include "src/strings/strings.inc"
#undef ORVAN_STRING
  };
  auto found = kStrings.find(id);
  return found == kStrings.end() ? std::string() : found->second;
}
