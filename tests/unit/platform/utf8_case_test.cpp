// Lower-casing the Linux build's texts, which are UTF-8: by character, never splitting one, and
// bytes that are not UTF-8 left as they are.
#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"

namespace platformtest {
namespace {

TEST(AnsiLowerCase, LowerCasesUtf8ByCharacter) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"ASCII", "ORVAN.EXE Data\\Pack", "orvan.exe data\\pack"},
      {"Latin-1", "LÉGENDES ÀÖØÞ ×", "légendes àöøþ ×"},
      {"Latin Extended-A", "ŠŽŁŃŒŸ Ĳ", "šžłńœÿ ĳ"},
      {"capital I with dot", "İ", "i"},
      {"Greek with accents", "ΟΡΒΑΝ ΆΈΉΊΌΎΏ", "ορβαν άέήίόύώ"},
      {"Cyrillic", "ОСТРОВА ЁЂЏ Ѣ Ӂ", "острова ёђџ ѣ ӂ"},
      {"Vietnamese", "ẠẾỸ", "ạếỹ"},
      {"already lower, and other scripts", "légendes 東京 ✓", "légendes 東京 ✓"},
      // Bytes that are not UTF-8 stay, and the characters around them still fold.
      {"a Windows-1252 byte", "CAF\xC9 É", "caf\xC9 é"},
      {"a cut sequence at the end", "ÉA\xC3", "éa\xC3"},
      {"a stray continuation byte", "\x80" "A", "\x80" "a"},
      {"an overlong form", "\xC0\x81" "B", "\xC0\x81" "b"},
      {"a surrogate", "\xED\xA0\x80" "C", "\xED\xA0\x80" "c"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::AnsiLowerCase(c.in), c.out) << c.name;
}

}  // namespace
}  // namespace platformtest
