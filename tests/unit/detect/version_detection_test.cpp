// Installed version detection: the executable's stamp, the checksum rules and the expansion step.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <vector>

#include "patchw32/format/expansion_header.h"
#include "platform/desktop.h"
#include "src/detect/version_detection.h"
#include "tests/fixtures/game_fixture.h"
#include "tests/unit/detect/test_folder.h"

namespace {

using detect_test::TempFolder;

std::string Words(std::initializer_list<uint32_t> words) {
  std::string bytes;
  for (uint32_t word : words)
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>(word >> (8 * i));
  return bytes;
}

TEST(ReadExeVersionStamp, ReadsTheTextBehindTheMarker) {
  struct Case {
    const char* name;
    std::string bytes;
    int result;
    const char* text;
  };
  std::string full = fixture::StampedExecutable("");
  const Case cases[] = {
      {"version and zero bytes", fixture::StampedExecutable("1.0.9"), 1, "1.0.9"},
      {"sixteen characters", fixture::StampedExecutable("1.2.3.4-abcdefgh"), 1, "1.2.3.4-abcdefgh"},
      {"text runs on past 16 bytes", fixture::StampedExecutable("1.2.3.4-abcdefghXYZ"), 1, "1.2.3.4-abcdefgh"},
      {"marker in capitals", fixture::StampedExecutable("1.0.9", 512, "WINDOWS ONLY.\r\n"), 0, ""},
      {"marker with a bare line feed", fixture::StampedExecutable("1.0.9", 512, "Windows only.\n\n"), 0, ""},
      {"file ends inside the text", full.substr(0, 94) + "1.0", 1, "1.0"},
      {"file ends where the text begins", full.substr(0, 94), 1, ""},
      {"file ends after the marker", full.substr(0, 93), 1, ""},
      {"file ends inside the marker", full.substr(0, 92), 0, ""},
      {"empty file", "", 0, ""},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    std::string path = folder.Write("Orvan.exe", c.bytes);
    Version version;
    version.Text = "untouched";
    EXPECT_EQ(ReadExeVersionStamp(path, version), c.result) << c.name;
    EXPECT_EQ(version.Text, c.result ? c.text : "untouched") << c.name;
    EXPECT_EQ(version.Valid, c.result == 1) << c.name;
  }
  Version version;
  EXPECT_EQ(ReadExeVersionStamp("/nonexistent/orvan.exe", version), 0);
}

TEST(XorChecksum, XorsTheWordsThatBeginBelowTheLength) {
  const uint32_t a = 0x11223344, b = 0x80000001, c = 0x0F0F0F0F;
  struct Case {
    const char* name;
    std::string bytes;
    int32_t length;
    uint32_t expected;
  };
  const Case cases[] = {
      {"whole file", Words({a, b}), -1, a ^ b},
      {"length past the end", Words({a, b}), 65536, a ^ b},
      {"length 0", Words({a, b}), 0, 0},
      {"length 4", Words({a, b, c}), 4, a},
      {"length 5 reads the second word whole", Words({a, b, c}), 5, a ^ b},
      {"length 10 reads bytes 0 to 11", Words({a, b, c}), 10, a ^ b ^ c},
      {"any negative length is past the end", Words({a, b, c}), -2, a ^ b ^ c},
      {"last word held in part", Words({a}) + "\x01\x02", -1, a ^ 0x0201},
      {"file shorter than a word", "\xAA\xBB\xCC", 65536, 0xCCBBAA},
      {"empty file", "", -1, 0},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    EXPECT_EQ(XorChecksum(folder.Write("data.bin", c.bytes), c.length), c.expected) << c.name;
  }
  EXPECT_EQ(XorChecksum("/nonexistent/data.bin", -1), 0u);
}

TEST(XorChecksum, CoversFilesLargerThanOneReadBuffer) {
  std::string bytes;
  uint32_t expected = 0;
  for (uint32_t i = 0; i < 50000; ++i) {
    uint32_t word = i * 2654435761u;
    bytes += Words({word});
    expected ^= word;
  }
  TempFolder folder;
  EXPECT_EQ(XorChecksum(folder.Write("big.bin", bytes), -1), expected);
}

TEST(ParseInt32, AcceptsSigned32BitDecimalTextOnly) {
  const std::pair<const char*, int32_t> valid[] = {
      {"0", 0}, {"-1", -1}, {"+5", 5}, {"2147483647", 2147483647}, {"-2147483648", INT32_MIN}, {"007", 7}};
  for (const auto& [text, value] : valid) EXPECT_EQ(ParseInt32(text), value) << text;
  for (const char* text : {"", "-", "2147483648", "-2147483649", "99999999999999999999", "1 ", " 1", "0x10", "1e3", "12abc"}) {
    try {
      ParseInt32(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const platform::FrameworkError& error) {
      EXPECT_EQ(error.what(), "'" + std::string(text) + "' is not a valid integer value");
    }
  }
}

// An installation folder with PatchInfo-like records pointing into it.
struct Installation {
  TempFolder folder;
  Update info;
  XPDManager expansions;

  Installation() {
    info.InstallPath = folder.Path();
    info.ExeName = "orvan.exe";
  }
  void Checksum(const std::string& file, const std::string& value, const std::string& length, const std::string& version) {
    info.ChecksumFiles.push_back(file);
    info.ChecksumValues.push_back(value);
    info.ChecksumLengths.push_back(length);
    info.ChecksumVersions.push_back(version);
  }
  void Expansion(const std::string& file, uint32_t id, int32_t versionNumber) {
    std::array<std::byte, kExpansionHeaderSize> header{};
    EncodeExpansionHeader(header, id, versionNumber, 31);
    folder.Write(file, {reinterpret_cast<const char*>(header.data()), header.size()});
  }
};

TEST(DetectInstalledVersion, StampWinsAndNoChecksumRecordIsExamined) {
  Installation install;
  install.folder.Write("Orvan.exe", fixture::StampedExecutable("1.0.9"));  // on disk in mixed case
  install.Checksum("orvan.exe", "0", "not a number", "9.9.9");
  EXPECT_EQ(DetectInstalledVersion(install.info, install.expansions), 1);
  EXPECT_EQ(install.info.InstalledVersion.Text, "1.0.9");
  EXPECT_EQ(install.info.InstalledVersion.FieldCount, 3);
}

TEST(DetectInstalledVersion, FirstMatchingChecksumRecordWins) {
  Installation install;
  install.folder.Write("Orvan.exe", fixture::StampedExecutable("1.0.9", 512, "WINDOWS ONLY.\r\n"));
  install.folder.Write("Data/Pack.DAT", Words({0xFFFFFFFF}));
  install.Checksum("data/pack.dat", "12345", "65536", "1.0.0");  // no match
  install.Checksum("data/pack.dat", "-1", "65536", "1.0.1");     // top bit set: written negative
  install.Checksum("data/pack.dat", "-1", "-1", "1.0.2");        // matches too, but comes later
  EXPECT_EQ(DetectInstalledVersion(install.info, install.expansions), 1);
  EXPECT_EQ(install.info.InstalledVersion.Text, "1.0.1");
}

TEST(DetectInstalledVersion, MissingChecksumFileMatchesZero) {
  Installation install;
  install.Checksum("gone.dat", "0", "65536", "1.0.3");
  EXPECT_EQ(DetectInstalledVersion(install.info, install.expansions), 1);
  EXPECT_EQ(install.info.InstalledVersion.Text, "1.0.3");
}

TEST(DetectInstalledVersion, NoMatchWritesNothingAndScansNoExpansion) {
  Installation install;
  install.folder.Write("orvan.exe", Words({7}));
  install.Checksum("orvan.exe", "8", "-1", "1.0.0");
  install.Expansion("isles.XPD", 305419896, 1000100);
  install.info.ExpansionIds = {"305419896"};
  install.info.InstalledVersion.Text = "before";
  install.info.ExpansionVersion.Text = "before";
  EXPECT_EQ(DetectInstalledVersion(install.info, install.expansions), 0);
  EXPECT_EQ(install.info.InstalledVersion.Text, "before");
  EXPECT_EQ(install.info.ExpansionVersion.Text, "before");
  EXPECT_EQ(install.expansions.Found, 0);
}

TEST(DetectInstalledVersion, MalformedChecksumNumberRaisesTheConversionError) {
  for (auto [length, value, bad] : {std::tuple{"64k", "0", "64k"}, std::tuple{"-1", "4294967295", "4294967295"}}) {
    Installation install;
    install.Checksum("orvan.exe", value, length, "1.0.0");
    install.Checksum("orvan.exe", "0", "-1", "1.0.1");
    try {
      DetectInstalledVersion(install.info, install.expansions);
      ADD_FAILURE() << "no error for " << bad;
    } catch (const platform::FrameworkError& error) {
      EXPECT_EQ(error.what(), "'" + std::string(bad) + "' is not a valid integer value");
    }
    EXPECT_FALSE(install.info.InstalledVersion.Valid);
  }
}

TEST(DetectInstalledVersion, ExpansionIdsAreMatchedAsUnsignedDecimalText) {
  struct Case {
    const char* name;
    std::vector<std::string> listed;
    const char* expected;
  };
  const Case cases[] = {
      {"listed identifier", {"305419896"}, "1.0.1"},
      {"identifier above 2^31", {"3000000000"}, "2.0.0"},
      {"both listed: the later name wins", {"3000000000", "305419896"}, "2.0.0"},
      {"leading zero is another text", {"0305419896"}, "before"},
      {"signed form is another text", {"-1294967296"}, "before"},
      {"an invalid file counts as identifier 0", {"0"}, "0.0.0"},
      {"none listed", {}, "before"},
  };
  for (const Case& c : cases) {
    Installation install;
    install.folder.Write("orvan.exe", fixture::StampedExecutable("1.1.0"));
    install.Expansion("a-isles.XPD", 305419896, 1000100);
    install.Expansion("B-depths.xpd", 3000000000u, 2000000);
    install.folder.Write("c-broken.XPD", std::string(10, '\x01'));
    install.info.ExpansionIds = c.listed;
    install.info.ExpansionVersion.Text = "before";
    EXPECT_EQ(DetectInstalledVersion(install.info, install.expansions), 1) << c.name;
    EXPECT_EQ(install.info.ExpansionVersion.Text, c.expected) << c.name;
    EXPECT_EQ(install.expansions.Entries.Count(), 3) << c.name;
  }
}

// Where a game file is expected, a named pipe would block detection for ever at its open, and a
// socket, a device or a folder is no game file: each is passed over unopened, as a missing file is.
TEST(DetectInstalledVersion, OpensOnlyRegularFiles) {
  struct Case {
    const char* name;
    std::function<std::vector<std::string>(Installation&)> arrange;  // returns the pipes made
    int result;
    const char* version;
    int expansionEntries;
  };
  const Case cases[] = {
      {"executable is a pipe: the checksum rules decide",
       [](Installation& i) {
         i.folder.Write("data.pak", Words({5}));
         i.Checksum("data.pak", "5", "-1", "1.0.4");
         return std::vector<std::string>{i.folder.MakePipe("Orvan.exe")};
       },
       1, "1.0.4", 0},
      {"checksum file is a pipe: its checksum is 0",
       [](Installation& i) {
         i.Checksum("data.pak", "0", "-1", "1.0.5");
         return std::vector<std::string>{i.folder.MakePipe("data.pak")};
       },
       1, "1.0.5", 0},
      {"executable is a folder, a socket, a device",
       [](Installation& i) {
         i.folder.MakeFolder("orvan.exe");
         i.folder.MakeSocket("data.pak");
         std::filesystem::create_symlink("/dev/zero", i.folder.Path("zero.dat"));
         i.Checksum("data.pak", "1", "-1", "9.9.9");
         i.Checksum("zero.dat", "1", "8", "9.9.9");
         return std::vector<std::string>{};
       },
       0, "before", 0},
      {"expansion file is a pipe",
       [](Installation& i) {
         i.folder.Write("orvan.exe", fixture::StampedExecutable("1.1.0"));
         i.Expansion("depths.XPD", 305419896, 1000100);
         return std::vector<std::string>{i.folder.MakePipe("isles.XPD")};
       },
       1, "1.1.0", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation install;
    install.info.InstalledVersion.Text = "before";
    std::vector<std::string> pipes = c.arrange(install);
    int result = -1;
    ASSERT_TRUE(detect_test::EndsWithoutBlocking(
        [&] { result = DetectInstalledVersion(install.info, install.expansions); }, pipes));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(install.info.InstalledVersion.Text, c.version);
    EXPECT_EQ(install.expansions.Entries.Count(), c.expansionEntries);
  }
}

}  // namespace
