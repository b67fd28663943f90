// The posix registry: a Wine prefix's system.reg, read through ReadRegistryString.
#include <gtest/gtest.h>

#include "platform/desktop.h"
#include "platform/posix/system_reg.h"
#include "tests/unit/detect/test_folder.h"

namespace {

using detect_test::ScopedEnvironment;
using detect_test::TempFolder;
namespace fs = std::filesystem;

// Lines as Wine 8 saves them (taken from a prefix after "wine reg add ... /reg:32"), with a few
// more keys in the same form: a REG_SZ saved as hex(1) (Wine does so for a string without its
// terminating zero), values on drives Z: and D:, and the 64-bit view of the game's key.
constexpr std::string_view kSystemReg = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Quillmer\\Orvan] 1796898330
#time=1dd8890c6d1c9e0
"Install Path"="C:\\Games\\Orvan64"

[Software\\Quillmer64 \[x\]] 1796898328
#time=1dd8890c6d1c9dc
@="def"

[Software\\Registered Applications] 1796898326
#time=1dd8890c5b540b0
"Install Path"="C:\\Shared"

[Software\\Wow6432Node\\Quillmer\\Orvan] 1796898328
#time=1dd8890c6b962d4
"Bin"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\
  18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27
"Exp"=str(2):"%SystemRoot%\\x"
"Install Path"="C:\\Games\\Orvan"
"Multi"=str(7):"a\0b\0"
"Num"=dword:00000007
"Weird \"q\" \\ \xe9"="a\"b\\c\ttab \xfc \x20ac \xd83d\xde00"

[Software\\Wow6432Node\\Quillmer\\Tools] 1796898331
#time=1dd8890c6d1c9e1
"Hex String"=hex(1):5a,00,3a,00,5c,00,6f,00,70,00,74,00,00,00
"Empty"=""
"Root Z"="Z:\\opt\\orvan"
"Drive D"="D:\\Orvan"
"Not A Drive"="\\\\server\\share"

[Software\\Wow6432Node\\Registered Applications] 1796898321
#time=1dd8890c2bb0b2e
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,\
  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,\
  74,00,77,00,61,00,72,00,65,00,5c,00,52,00,65,00,67,00,69,00,73,00,74,00,65,\
  00,72,00,65,00,64,00,20,00,41,00,70,00,70,00,6c,00,69,00,63,00,61,00,74,00,\
  69,00,6f,00,6e,00,73,00
)";

// A prefix with the fixture and Wine's drive links: c: to drive_c, z: to the root.
struct Prefix {
  TempFolder folder;
  ScopedEnvironment environment{"WINEPREFIX", folder.Path()};
  std::string driveC;

  explicit Prefix(std::string_view systemReg = kSystemReg) {
    folder.Write("system.reg", systemReg);
    folder.MakeFolder("drive_c");
    folder.MakeFolder("dosdevices");
    fs::create_directory_symlink("../drive_c", folder.Path("dosdevices/c:"));
    fs::create_directory_symlink("/", folder.Path("dosdevices/z:"));
    driveC = fs::canonical(folder.Path("drive_c")).string();
  }
};

TEST(SystemReg, ReadsValuesAsWineWritesThem) {
  Prefix prefix;
  struct Case {
    const char* name;
    const char* key;
    const char* value;
    std::string expected;
  };
  const Case cases[] = {
      {"32-bit view, drive C mapped", "Software\\Quillmer\\Orvan", "Install Path", prefix.driveC + "/Games/Orvan"},
      {"names without regard to case", "SOFTWARE\\quillmer\\ORVAN", "install PATH", prefix.driveC + "/Games/Orvan"},
      {"leading backslash", "\\Software\\Quillmer\\Orvan", "Install Path", prefix.driveC + "/Games/Orvan"},
      {"the 32-bit view named outright", "Software\\Wow6432Node\\Quillmer\\Orvan", "Install Path",
       prefix.driveC + "/Games/Orvan"},
      {"escapes and UTF-16 units", "Software\\Quillmer\\Orvan", "Weird \"q\" \\ \xC3\xA9",
       "a\"b\\c\ttab \xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"expandable string, not expanded", "Software\\Quillmer\\Orvan", "Exp", "%SystemRoot%\\x"},
      {"string saved as hex(1)", "Software\\Quillmer\\Tools", "Hex String", "/opt"},
      {"drive Z is the root", "Software\\Quillmer\\Tools", "Root Z", "/opt/orvan"},
      {"drive without a link", "Software\\Quillmer\\Tools", "Drive D", prefix.folder.Path("dosdevices/d:") + "/Orvan"},
      {"not a drive path", "Software\\Quillmer\\Tools", "Not A Drive", "\\\\server\\share"},
      {"empty value", "Software\\Quillmer\\Tools", "Empty", ""},
      {"missing value", "Software\\Quillmer\\Orvan", "Uninstall", ""},
      {"missing key", "Software\\Quillmer\\Nothing", "Install Path", ""},
      {"key only in the 64-bit view; default value", "Software\\Quillmer64 [x]", "", "def"},
      {"a link in the 32-bit view leads to the key as named", "Software\\Registered Applications", "Install Path",
       prefix.driveC + "/Shared"},
  };
  for (const Case& c : cases) {
    try {
      EXPECT_EQ(platform::ReadRegistryString(c.key, c.value), c.expected) << c.name;
    } catch (const std::exception& error) {
      ADD_FAILURE() << c.name << ": " << error.what();
    }
  }
}

TEST(SystemReg, ValueOfAnotherTypeIsAnInvalidDataTypeError) {
  Prefix prefix;
  for (const char* name : {"Num", "Bin", "Multi"}) {
    try {
      platform::ReadRegistryString("Software\\Quillmer\\Orvan", name);
      ADD_FAILURE() << name << " read as a string";
    } catch (const platform::FrameworkError& error) {
      EXPECT_EQ(error.what(), "Invalid data type for '" + std::string(name) + "'");
    }
  }
}

TEST(SystemReg, AThirtyTwoBitPrefixHasNoSeparateView) {
  Prefix prefix(
      "WINE REGISTRY Version 2\n\n#arch=win32\n\n"
      "[Software\\\\Quillmer\\\\Orvan] 1\n\"Install Path\"=\"C:\\\\Orvan32\"\n\n"
      "[Software\\\\Wow6432Node\\\\Quillmer\\\\Orvan] 1\n\"Install Path\"=\"C:\\\\Stray\"\n");
  EXPECT_EQ(platform::ReadRegistryString("Software\\Quillmer\\Orvan", "Install Path"), prefix.driveC + "/Orvan32");
}

TEST(SystemReg, MissingOrUnreadableFileReadsAsNoKeys) {
  TempFolder folder;
  ScopedEnvironment environment("WINEPREFIX", folder.Path("no-prefix"));
  EXPECT_EQ(platform::ReadRegistryString("Software\\Quillmer\\Orvan", "Install Path"), "");
  folder.MakeFolder("no-prefix/system.reg");  // a folder where the file should be
  EXPECT_EQ(platform::ReadRegistryString("Software\\Quillmer\\Orvan", "Install Path"), "");
}

TEST(SystemReg, PrefixDefaultsToDotWineInHome) {
  TempFolder home;
  home.Write(".wine/system.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Orvan] 1\n\"Install Path\"=\"/games/orvan\"\n");
  ScopedEnvironment noPrefix("WINEPREFIX", "");
  ScopedEnvironment homeFolder("HOME", home.Path());
  EXPECT_EQ(platform::ReadRegistryString("Software\\Orvan", "Install Path"), "/games/orvan");
}

TEST(SystemReg, SkipsMalformedLinesAndKeepsTheRest) {
  constexpr std::string_view text =
      "WINE REGISTRY Version 2\n"
      "[Software\\\\Broken\n"                     // header without its end
      "\"Install Path\"=\"C:\\\\Wrong\"\n"         // belongs to no key
      "[Software\\\\Orvan] 1\r\n"                  // CRLF line ends are read too
      "\"Unterminated\"=\"abc\r\n"
      "\"Bad hex\"=hex:0g,\\\r\n"
      "  01\r\n"
      "\"Bad type\"=str(zz):\"x\"\r\n"
      "\"Install Path\"=\"D:\\\\Games\"\r\n"
      "\"Install Path\"=\"E:\\\\Later\"\r\n";     // a later line of the same name replaces it
  EXPECT_EQ(platform::systemreg::LookupString(text, "Software\\Orvan", "Install Path"), "E:\\Later");
  EXPECT_EQ(platform::systemreg::LookupString(text, "Software\\Orvan", "Unterminated"), "");
  EXPECT_EQ(platform::systemreg::LookupString(text, "Software\\Broken", "Install Path"), "");
  auto registry = platform::systemreg::Parse(text);
  ASSERT_EQ(registry.Keys.count("software\\orvan"), 1u);
  EXPECT_EQ(registry.Keys["software\\orvan"].Values.size(), 2u);
}

}  // namespace
