// Name folding: only A to Z fold; comparisons, suffixes and extensions follow it.
#include <gtest/gtest.h>

#include <string>

#include "patchw32/format/names.h"

namespace {

TEST(FoldName, LowersOnlyTheLettersAToZ) {
  struct Case {
    const char* name;
    const char* folded;
  };
  const Case cases[] = {
      {"Data/Maps/Isle01.MAP", "data/maps/isle01.map"},
      {"already lower", "already lower"},
      {"@[`{", "@[`{"},  // the neighbours of A, Z, a and z stay
      {"\xC9T\xC9.PAK", "\xC9t\xC9.pak"},  // bytes above 127 stay: the code page is not ours here
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(payload::FoldName(c.name), c.folded) << c.name;
}

TEST(SameName, IgnoresOnlyAsciiCase) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"Orvan.EXE", "orvan.exe", true}, {"", "", true},          {"a", "", false},
      {"ab", "abc", false},             {"\xC9", "\xE9", false}, {"[", "{", false},
      {"12345", "12345", true},         {"@", "`", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(payload::SameName(c.a, c.b), c.same) << c.a << " vs " << c.b;
    EXPECT_EQ(payload::SameName(c.b, c.a), c.same) << c.b << " vs " << c.a;
  }
}

TEST(EndsWithName, ComparesTheTailWithoutRegardToCase) {
  struct Case {
    const char* text;
    const char* suffix;
    bool ends;
  };
  const Case cases[] = {
      {"a.txt.NEW.ORVAN~", ".new.orvan~", true}, {".orvan~", ".ORVAN~", true},
      {"orvan~", ".orvan~", false},              {"a.orvan", ".orvan~", false},
      {"anything", "", true},                    {"", "x", false},
  };
  for (const auto& c : cases) EXPECT_EQ(payload::EndsWithName(c.text, c.suffix), c.ends) << c.text << " / " << c.suffix;
}

TEST(FoldedExtension, WhatFollowsTheLastDotOfTheLastComponent) {
  struct Case {
    const char* path;
    const char* extension;
  };
  const Case cases[] = {
      {"Isles.XPD", "xpd"},      {"maps/isle.XPD", "xpd"}, {"isles.xpdata", "xpdata"},
      {"xpd", ""},               {"data.d/readme", ""},    {"saves/slot.", ""},
      {".Hidden", "hidden"},     {"a/b.C.Dat", "dat"},     {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(payload::FoldedExtension(c.path), c.extension) << c.path;
}

}  // namespace
