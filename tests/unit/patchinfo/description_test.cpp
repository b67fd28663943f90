// The description records: keywords, field cutting, trimming, title-casing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "src/engine_host/engine_loader.h"
#include "src/patchinfo/description.h"
#include "src/patchinfo/listing_pass.h"

namespace {

// The engine sends each record with one extra final character.
Update Parse(const std::vector<std::string>& records) {
  Update info;
  for (const auto& record : records) ParseDescriptionRecord(info, record + "#");
  return info;
}

TEST(DescriptionRecords, ExampleRecordsFillTheDescription) {
  PatchInfo = Update();
  auto send = [](const std::string& text) { return ListPassCallback(11, const_cast<char*>(text.c_str())); };
  for (std::string record : {"Versions,Orvan: Silent Thrones,Orvan.exe,1.1.0,1.2.0",
                             "Registry,Software\\Quillmer\\Orvan",
                             "checksum,Orvan.exe,1234567890,65536,1.0.2",
                             "Expansion,Orvan Isles,305419896,1.0.1,XPD"}) {
    ASSERT_NE(send(record + "\n"), nullptr);
  }
  TitleCaseWords(PatchInfo.ProductName);
  PatchInfo.ShortName = ShortNameOf(PatchInfo.ProductName);

  const Update& p = PatchInfo;
  EXPECT_TRUE(p.Valid);
  EXPECT_EQ(p.ProductName, "Orvan: Silent Thrones");
  EXPECT_EQ(p.ShortName, "Orvan");
  EXPECT_EQ(p.ExeName, "orvan.exe");
  EXPECT_EQ(p.FromVersion.Text, "1.1.0");
  EXPECT_EQ(p.FromVersion.FieldCount, 3);
  EXPECT_EQ(p.ToVersion.Text, "1.2.0");
  EXPECT_EQ(p.RegistryKeys, TextList{"software\\quillmer\\orvan"});
  EXPECT_EQ(p.ChecksumFiles, TextList{"orvan.exe"});
  EXPECT_EQ(p.ChecksumValues, TextList{"1234567890"});
  EXPECT_EQ(p.ChecksumLengths, TextList{"65536"});
  EXPECT_EQ(p.ChecksumVersions, TextList{"1.0.2"});
  EXPECT_EQ(p.ExpansionNames, TextList{"Orvan Isles"});
  EXPECT_EQ(p.ExpansionIds, TextList{"305419896"});
  EXPECT_EQ(p.ExpansionVersions, TextList{"1.0.1"});
  EXPECT_EQ(p.ExpansionExtensions, TextList{"xpd"});
  EXPECT_EQ(p.UtilityVersion, "1.10");
  EXPECT_EQ(p.RequiredBytes, 0);
  PatchInfo = Update();
}

TEST(DescriptionRecords, KeywordsMatchAtTheStartWhateverTheCase) {
  for (const char* record : {"VERSIONS,a,b.exe,1,2", "Versions,a,b.exe,1,2", "versionsx,a,b.exe,1,2",
                             "versions and more words,a,b.exe,1,2"}) {
    SCOPED_TRACE(record);
    Update info = Parse({record});
    EXPECT_TRUE(info.Valid);
    EXPECT_EQ(info.ExeName, "b.exe");
  }
  for (const char* record : {" versions,a,b.exe,1,2", "version,a,b.exe,1,2", "xversions,a,b,1,2"}) {
    SCOPED_TRACE(record);
    EXPECT_FALSE(Parse({record}).Valid);
  }
}

TEST(DescriptionRecords, FieldsAreTrimmedOfBlanksAndControlCharacters) {
  Update info = Parse({"versions, Orvan Gold, orvan.exe, 1.1.0, 1.2.0"});
  EXPECT_EQ(info.ProductName, "orvan gold");  // title-cased after the pass, not here
  EXPECT_EQ(info.ExeName, "orvan.exe");
  EXPECT_EQ(info.FromVersion.Text, "1.1.0");
  EXPECT_EQ(info.ToVersion.Text, "1.2.0");
  EXPECT_TRUE(info.Valid);

  info = Parse({"checksum,\t a.dat \r,\x01" "5\x1f, 10 ,  1.0 "});
  EXPECT_EQ(info.ChecksumFiles, TextList{"a.dat"});
  EXPECT_EQ(info.ChecksumValues, TextList{"5"});
  EXPECT_EQ(info.ChecksumLengths, TextList{"10"});
  EXPECT_EQ(info.ChecksumVersions, TextList{"1.0"});
}

TEST(DescriptionRecords, ShortVersionsRecordsSetOnlyTheFieldsBeforeTheMissingComma) {
  struct Case {
    const char* record;
    const char* product;
    const char* exe;
    const char* from;
  };
  const Case cases[] = {
      {"versions", "", "", ""},
      {"versions,orvan", "", "", ""},
      {"versions,orvan,", "orvan", "", ""},
      {"versions,orvan,orvan.exe", "orvan", "", ""},
      {"versions,orvan,orvan.exe,1.1.0", "orvan", "orvan.exe", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    Update info = Parse({c.record});
    EXPECT_FALSE(info.Valid);
    EXPECT_EQ(info.ProductName, c.product);
    EXPECT_EQ(info.ExeName, c.exe);
    EXPECT_EQ(info.FromVersion.Text, c.from);
    EXPECT_FALSE(info.FromVersion.Valid);
  }
  // An early complete record stays valid when a later short one changes some of its fields.
  Update info = Parse({"versions,a,a.exe,1,2", "versions,b,b.exe"});
  EXPECT_TRUE(info.Valid);
  EXPECT_EQ(info.ProductName, "b");
  EXPECT_EQ(info.ExeName, "a.exe");
}

TEST(DescriptionRecords, TheLastFieldKeepsItsCommas) {
  Update info = Parse({"registry,software\\a,b", "versions,a,a.exe,1.0,2.0,extra", "checksum,f,1,2,1.0,x"});
  EXPECT_EQ(info.RegistryKeys, TextList{"software\\a,b"});
  EXPECT_EQ(info.ToVersion.Text, "2.0,extra");
  EXPECT_EQ(info.ChecksumVersions, TextList{"1.0,x"});
}

TEST(DescriptionRecords, ListRecordsNeedAllTheirCommasAndAccumulateInOrder) {
  Update info = Parse({"checksum,a,1,2", "expansion,x,1,2", "registry", "registry,k1", "registry,k2",
                       "checksum,b,3,4,1.0", "checksum,c,5,6,1.1"});
  EXPECT_TRUE(info.ExpansionNames.empty());
  EXPECT_EQ(info.ChecksumFiles, (TextList{"b", "c"}));
  EXPECT_EQ(info.ChecksumVersions, (TextList{"1.0", "1.1"}));
  EXPECT_EQ(info.RegistryKeys, (TextList{"k1", "k2"}));
}

TEST(DescriptionRecords, ExpansionExtensionIsCutToThreeCharacters) {
  Update info = Parse({"expansion,orvan isles,1,1.0,xpdata", "expansion,the-far reach,2,1.0,x",
                       "expansion,a,3,1.0,"});
  EXPECT_EQ(info.ExpansionExtensions, (TextList{"xpd", "x", ""}));
  EXPECT_EQ(info.ExpansionNames, (TextList{"Orvan Isles", "The-far Reach", "A"}));
}

TEST(DescriptionRecords, ExactlyOneFinalCharacterIsDropped) {
  Update info;
  ParseDescriptionRecord(info, "registry,key  ");
  EXPECT_EQ(info.RegistryKeys, TextList{"key"});  // dropped one blank, trimmed the other
  ParseDescriptionRecord(info, "registry,keyZ");
  EXPECT_EQ(info.RegistryKeys.back(), "key");
  ParseDescriptionRecord(info, "registry,key");
  EXPECT_EQ(info.RegistryKeys.back(), "ke");
  // A one-character text is an empty record; an empty one changes nothing either.
  Update empty;
  ParseDescriptionRecord(empty, "v");
  ParseDescriptionRecord(empty, "");
  EXPECT_TRUE(empty.RegistryKeys.empty());
  EXPECT_FALSE(empty.Valid);
}

TEST(DescriptionRecords, RecordsAreLowerCasedWithTheCodePage) {
  // The Linux build's code page is UTF-8: accented, Greek and Cyrillic letters lower-case by
  // character.
  Update info = Parse({"VERSIONS,ORVAN: LÉGENDES,ORVÄN.EXE,1.1.0,1.2.0", "REGISTRY,SOFTWARE\\ΟΡΒΑΝ\\Острова"});
  EXPECT_EQ(info.ProductName, "orvan: légendes");
  EXPECT_EQ(info.ExeName, "orvän.exe");
  EXPECT_EQ(info.RegistryKeys, TextList{"software\\ορβαν\\острова"});
}

TEST(TitleCaseWords, UpperCasesOnlyLettersAtTheStartAndAfterBlanks) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"orvan gold", "Orvan Gold"}, {"orvan: silent thrones", "Orvan: Silent Thrones"},
      {"a-b c\td", "A-b C\td"},      {"  two  blanks", "  Two  Blanks"},
      {"\xe9t\xe9 x", "\xe9t\xe9 X"}, {"1st 2nd", "1st 2nd"},
      {"", ""},                       {"MiXed", "MiXed"},
  };
  for (const auto& c : cases) {
    std::string text = c.in;
    TitleCaseWords(text);
    EXPECT_EQ(text, c.out) << c.in;
  }
}

TEST(ShortName, CutsAtTheFirstColonElseTheFirstBlank) {
  struct Case {
    const char* product;
    const char* shortName;
  };
  const Case cases[] = {{"Orvan", "Orvan"},
                        {"Orvan Gold", "Orvan"},
                        {"Orvan: Silent Thrones", "Orvan"},
                        {"Big Orvan: Thrones", "Big Orvan"},
                        {":Orvan", ""},
                        {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(ShortNameOf(c.product), c.shortName) << c.product;
}

}  // namespace
