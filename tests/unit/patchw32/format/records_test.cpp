// The description records' grammar: keywords, comma fields, trimming, the expansion extension.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "patchw32/format/records.h"

namespace {

using payload::RecordKind;

TEST(KindOfRecord, TheKeywordAtTheVeryStartInAnyCase) {
  struct Case {
    const char* record;
    RecordKind kind;
  };
  const Case cases[] = {
      {"Versions,Orvan,orvan.exe,1.1.0,1.2.0", RecordKind::Versions},
      {"VERSIONS,a", RecordKind::Versions},
      {"versionsx,a", RecordKind::Versions},
      {"versions and more words,a", RecordKind::Versions},
      {"versions", RecordKind::Versions},  // a missing comma is the reader's concern
      {"checksum,f,1,2,1.0", RecordKind::Checksum},
      {"ChEcKsUm", RecordKind::Checksum},
      {"Expansion,Isles,1,1.0,XPD", RecordKind::Expansion},
      {"registry,software\\x", RecordKind::Registry},
      {" versions,a", RecordKind::Unknown},
      {"version,a", RecordKind::Unknown},
      {"xversions,a", RecordKind::Unknown},
      {"regis", RecordKind::Unknown},
      {"", RecordKind::Unknown},
      {"# versions", RecordKind::Unknown},
      {"\xC9xpansion,a", RecordKind::Unknown},
  };
  for (const auto& c : cases) EXPECT_EQ(payload::KindOfRecord(c.record), c.kind) << c.record;
}

TEST(TrimmedField, DropsCodesUpTo32AtBothEndsOnly) {
  struct Case {
    std::string text;
    std::string trimmed;
  };
  const Case cases[] = {
      {"  a b \t", "a b"},         {"\r\n\x01x\x1f", "x"},     {"", ""},
      {" \t\r\n", ""},             {"a  ,  b", "a  ,  b"},     {"\xA0x\xA0", "\xA0x\xA0"},
      {"x\x7F", "x\x7F"},          {std::string("\0a\0", 3), "a"},
  };
  for (const auto& c : cases) EXPECT_EQ(payload::TrimmedField(c.text), c.trimmed) << c.text;
}

TEST(RecordFields, NextTakesFieldsEndedByACommaAndRestTakesTheLast) {
  struct Case {
    const char* record;
    std::vector<std::string> ended;  // what Next gives until it gives nothing
    const char* rest;
  };
  const Case cases[] = {
      {"versions, Orvan Gold ,orvan.exe,1.1.0,1.2.0", {"versions", "Orvan Gold", "orvan.exe", "1.1.0"}, "1.2.0"},
      {"registry", {}, "registry"},
      {"registry,", {"registry"}, ""},
      {",,", {"", ""}, ""},
      {" a ,\t,  b  ", {"a", ""}, "b"},
      {"", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    payload::RecordFields fields(c.record);
    std::vector<std::string> ended;
    while (auto field = fields.Next()) ended.emplace_back(*field);
    EXPECT_EQ(ended, c.ended);
    EXPECT_EQ(fields.Next(), std::nullopt);  // stays at the last field
    EXPECT_EQ(fields.Rest(), c.rest);
  }
}

TEST(RecordField, CountsTheLastFieldAndNothingBeyondIt) {
  struct Case {
    const char* record;
    size_t index;
    std::optional<std::string> field;
  };
  const Case cases[] = {
      {"VERSIONS, Orvan Gold , Orvan.EXE ,1.1.0,1.2.0", 2, "Orvan.EXE"},
      {"versions,a,b.exe", 2, "b.exe"},
      {"versions,a,b.exe", 3, std::nullopt},
      {"versions,a,", 2, ""},
      {"checksum,Data\\Check.dat", 1, "Data\\Check.dat"},
      {"checksum", 1, std::nullopt},
      {"checksum", 0, "checksum"},
      {" checksum ,x", 0, "checksum"},
      {"a,,b", 1, ""},
      {"", 0, ""},
  };
  for (const auto& c : cases) {
    auto field = payload::RecordField(c.record, c.index);
    EXPECT_EQ(field ? std::optional<std::string>(*field) : std::nullopt, c.field) << c.record << " #" << c.index;
  }
}

TEST(ExpansionExtension, TheRestAfterTheFourthCommaCutToThreeCharacters) {
  struct Case {
    const char* record;
    const char* extension;
  };
  const Case cases[] = {
      {"Expansion,Orvan Isles,305419896,1.1.0,XPD", "XPD"},  // case is the reader's to fold
      {"expansion,a,1,1.0, XPData ", "XPD"},
      {"expansion,a,1,1.0,x", "x"},
      {"expansion,a,1,1.0,", ""},
      {"expansion,a,1,1.0, \t", ""},
      {"expansion,a,1,1.0", ""},
      {"expansion", ""},
      {"expansion,a,1,1.0,x,y", "x,y"},
      {"expansion,a,1,1.0,  xp,d", "xp,"},
      {"expansion,,,,abc", "abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(payload::ExpansionExtension(c.record), c.extension) << c.record;
}

TEST(ExpansionExtensionsOf, FoldedFromExpansionRecordsOnlyAndNeverEmpty) {
  std::vector<std::string> records = {"Versions,a,a.exe,1,2,xyz",  "Expansion,Isles,1,1.0, XPData ",
                                      "expansion,b,2,1.0, ",       "EXPANSIONx,c,3,1.0,Dat1",
                                      "expansion,short,1,1.0",     "checksum,a,1,2,3,abc",
                                      "registry,x,y,z,w,abc",      "expansion,again,4,1.0,xpd"};
  EXPECT_EQ(payload::ExpansionExtensionsOf(records), (std::vector<std::string>{"xpd", "dat", "xpd"}));
  EXPECT_TRUE(payload::ExpansionExtensionsOf({}).empty());
}

}  // namespace
