// orvan-mkpatch xpd: the header it writes is one the scanner accepts; bad input writes nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "mkpatch/xpd_command.h"
#include "src/detect/qm_stream_file.h"
#include "tests/unit/detect/test_folder.h"

namespace {

using detect_test::TempFolder;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(XpdCommand, CreatesAFileWithAValidHeader) {
  TempFolder folder;
  std::string path = folder.Path("Isles.XPD");
  for (const char* checkCount : {"0", "15", "31"}) {
    ASSERT_EQ(mkpatch::XpdCommand({"--id", "305419896", "--version", "1000100", "--check-count", checkCount, path}), 0);
    QMStreamFile file(path);
    EXPECT_EQ(file.ExtractId(), 305419896u) << checkCount;
    EXPECT_EQ(file.VersionText, "1.0.1");
    EXPECT_EQ(Contents(path).size(), 116u);
  }
  ASSERT_EQ(mkpatch::XpdCommand({"--id", "4294967294", "--version", "-5", path}), 0);
  QMStreamFile file(path);
  EXPECT_EQ(file.ExtractId(), 4294967294u);
  EXPECT_EQ(file.Fields.CheckCount, 31u);
}

TEST(XpdCommand, KeepsWhatFollowsTheHeaderAndTheBytesItDoesNotInterpret) {
  TempFolder folder;
  std::string data(200, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + 1);
  std::string path = folder.Write("Depths.XPD", data);
  ASSERT_EQ(mkpatch::XpdCommand({"--id", "77", "--version", "2000000", path}), 0);
  std::string after = Contents(path);
  ASSERT_EQ(after.size(), data.size());
  EXPECT_EQ(after.substr(116), data.substr(116));
  EXPECT_EQ(after.substr(0, 4), data.substr(0, 4));
  EXPECT_EQ(after.substr(16, 4), data.substr(16, 4));
  EXPECT_EQ(after.substr(36, 80), data.substr(36, 80));
  EXPECT_EQ(QMStreamFile(path).ExtractId(), 77u);

  std::string shortPath = folder.Write("Short.XPD", "abc");  // a short file grows to a whole header
  ASSERT_EQ(mkpatch::XpdCommand({"--id", "78", "--version", "2000000", shortPath}), 0);
  EXPECT_EQ(Contents(shortPath).substr(0, 3), "abc");
  EXPECT_EQ(QMStreamFile(shortPath).ExtractId(), 78u);
}

TEST(XpdCommand, RefusesBadInputWithoutWritingAnything) {
  TempFolder folder;
  std::string path = folder.Path("Bad.XPD");
  const std::vector<std::vector<std::string>> cases = {
      {"--id", "0", "--version", "1", path},
      {"--id", "4294967295", "--version", "1", path},  // the reserved identifier
      {"--id", "4294967296", "--version", "1", path},
      {"--id", "-3", "--version", "1", path},
      {"--id", "12ab", "--version", "1", path},
      {"--id", "5", "--version", "2147483648", path},
      {"--id", "5", "--version", "1", "--check-count", "32", path},
      {"--id", "5", "--version", "1"},
      {"--id", "5", "--version", "1", path, path},
      {"--version", "1", path},
      {"--id", "5", "--version", "1", "--level", "3", path},
      {"--id", "5", "--version", "1", folder.Path()},  // a folder, not a file
  };
  for (const auto& args : cases) {
    EXPECT_THROW(mkpatch::XpdCommand(args), std::runtime_error) << args[1] << " " << args.size();
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}

}  // namespace
