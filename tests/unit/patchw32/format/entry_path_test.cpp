// Which paths a payload may name.
#include <gtest/gtest.h>

#include "patchw32/format/entry_path.h"

namespace {

TEST(EntryPath, AcceptsPlainRelativePaths) {
  for (const char* path : {"orvan.exe", "data/maps/isle.map", "Data/Mixed Case/a b.txt", "a.b.c", ".hidden",
                           "con2", "com0.txt", "lpt10", "x/nul-ish", "\xc9t\xe9.dat"}) {
    EXPECT_TRUE(payload::IsSafeEntryPath(path)) << path;
  }
}

TEST(EntryPath, RefusesPathsThatLeaveOrEscapeTheFolder) {
  for (const char* path : {"", "/etc/passwd", "../x", "a/../../x", "a/..", "./a", "a//b", "a/", "c:evil",
                           "C:/Windows/x", "a\\..\\b", "file.txt:stream", "nul", "NUL.txt", "data/Con",
                           "com1", "LPT9.dat", "conin$", "a./b", "trailing. ", "tab\there", "q?.txt",
                           "pipe|x"}) {
    EXPECT_FALSE(payload::IsSafeEntryPath(path)) << path;
  }
  EXPECT_FALSE(payload::IsSafeEntryPath(std::string(1025, 'a')));
}

}  // namespace
