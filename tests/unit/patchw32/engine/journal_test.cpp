// The journal comes back exactly as written, any damage to it is refused, and only a journal
// written for this folder that names this payload's files is ever acted on.
#include <gtest/gtest.h>

#include "patchw32/engine/installation.h"
#include "patchw32/engine/journal.h"
#include "patchw32/engine/transaction.h"
#include "platform/files.h"
#include "tests/unit/patchw32/engine/engine_fixture.h"

namespace enginetest {
namespace {

engine::Journal Sample() {
  engine::Journal journal;
  journal.phase = engine::JournalPhase::Commit;
  journal.folderIdentity = "2049:131073";
  journal.folderWritten = "/games/Orvan";
  journal.backupFolder = "Update_1.1.0_Backup";
  journal.folders = {"maps", "maps/isle"};
  journal.staged = {"Orvan.exe.new.orvan~", "maps/isle/m1.map.new.orvan~"};
  journal.steps = {{engine::StepKind::Add, "maps/isle/m1.map"},
                   {engine::StepKind::Remove, "gone.txt"},
                   {engine::StepKind::Replace, "Orvan.exe"}};
  return journal;
}

TEST(Journal, ComesBackAsWrittenAndRefusesEveryDamagedByte) {
  auto bytes = engine::EncodeJournal(Sample());
  engine::Journal read;
  ASSERT_TRUE(engine::DecodeJournal(bytes, read));
  EXPECT_EQ(read, Sample());
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto damaged = bytes;
    damaged[i] ^= std::byte{0x01};
    EXPECT_FALSE(engine::DecodeJournal(damaged, read)) << "byte " << i;
  }
  for (size_t size = 0; size < bytes.size(); ++size)
    EXPECT_FALSE(engine::DecodeJournal(std::span(bytes).first(size), read)) << "cut to " << size;
}

TEST(Journal, APathOutsideTheInstallationIsRefusedEvenWithAGoodChecksum) {
  using Change = void (*)(engine::Journal&, const std::string&);
  const Change changes[] = {
      [](engine::Journal& j, const std::string& path) { j.steps[0].target = path; },
      [](engine::Journal& j, const std::string& path) { j.staged[0] = path; },
      [](engine::Journal& j, const std::string& path) { j.folders[0] = path; },
      [](engine::Journal& j, const std::string& path) { j.backupFolder = path; },
  };
  for (const char* path : {"../outside", "/etc/passwd", "a/../../b", "c:x"}) {
    for (size_t change = 0; change < std::size(changes); ++change) {
      auto journal = Sample();
      changes[change](journal, path);
      engine::Journal read;
      EXPECT_FALSE(engine::DecodeJournal(engine::EncodeJournal(journal), read)) << path << " in place " << change;
    }
  }
  // A backup folder may not be one of the engine's own names either, nor may identity be missing.
  auto journal = Sample();
  journal.backupFolder = "backup.old.orvan~";
  engine::Journal read;
  EXPECT_FALSE(engine::DecodeJournal(engine::EncodeJournal(journal), read));
  journal = Sample();
  journal.folderIdentity.clear();
  EXPECT_FALSE(engine::DecodeJournal(engine::EncodeJournal(journal), read));
}

// The payload of the journals below: one entry of each operation.
payload::PayloadIndex SampleIndex() {
  payload::PayloadIndex index;
  auto add = [&index](const char* path, payload::Operation operation) {
    payload::FileEntry entry;
    entry.path = path;
    entry.operation = operation;
    index.entries.push_back(entry);
  };
  add("gone.txt", payload::Operation::Delete);
  add("maps/isle/m1.map", payload::Operation::Add);
  add("orvan.exe", payload::Operation::Modify);
  return index;
}

TEST(Journal, OnlyAJournalOfThisFolderNamingThisPayloadsFilesBelongs) {
  TempFolder folder;
  fs::create_directory(folder.Path() / "elsewhere");
  engine::Installation installation(folder.Path().string());
  engine::Journal here = Sample();
  here.folderIdentity = *platform::FolderIdentity(folder.Path().string());
  struct Case {
    const char* name;
    void (*change)(engine::Journal&);
    const char* why;  // empty: it belongs
  };
  const Case cases[] = {
      {"as written", [](engine::Journal&) {}, ""},
      {"names spelled in another case", [](engine::Journal& j) { j.steps[2].target = "ORVAN.EXE"; }, ""},
      {"written for another folder", [](engine::Journal& j) { j.folderIdentity = "1:2"; }, "written for"},
      {"a step for a file the payload lacks",
       [](engine::Journal& j) { j.steps[1] = {engine::StepKind::Remove, "thesis.txt"}; }, "thesis.txt"},
      {"a step of another kind than the entry's",
       [](engine::Journal& j) { j.steps[0] = {engine::StepKind::Add, "orvan.exe"}; }, "not what this update does"},
      {"a staged file of a file the payload lacks",
       [](engine::Journal& j) { j.staged[0] = "thesis.txt.new.orvan~"; }, "thesis.txt"},
      {"a staged file without the engine's suffix", [](engine::Journal& j) { j.staged[0] = "orvan.exe"; },
       "orvan.exe"},
      {"a folder above no entry", [](engine::Journal& j) { j.folders[0] = "saves"; }, "saves"},
      {"a folder that is an entry", [](engine::Journal& j) { j.folders[0] = "orvan.exe"; }, "orvan.exe"},
      {"a backup folder holding an entry", [](engine::Journal& j) { j.backupFolder = "maps"; }, "maps"},
  };
  for (const auto& c : cases) {
    engine::Journal journal = here;
    c.change(journal);
    std::string why;
    bool belongs = engine::JournalBelongsHere(journal, installation, SampleIndex(), why);
    EXPECT_EQ(belongs, std::string(c.why).empty()) << c.name;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
  }
  engine::Installation other((folder.Path() / "elsewhere").string());
  std::string why;
  EXPECT_FALSE(engine::JournalBelongsHere(here, other, SampleIndex(), why));
}

TEST(Journal, ADamagedJournalIsRefusedAndTouchesNothing) {
  TempFolder folder;
  Tree tree = {{"orvan.exe.new.orvan~", "staged"}, {"update-journal.orvan~", "not a journal"}};
  WriteTree(folder.Path(), tree);
  engine::Installation installation(folder.Path().string());
  std::string error;
  EXPECT_EQ(engine::RecoverInterruptedUpdate(installation, SampleIndex(), error), engine::RecoveryResult::Refused);
  EXPECT_NE(error.find("damaged"), std::string::npos);
  EXPECT_NE(error.find(installation.Full("update-journal.orvan~")), std::string::npos) << error;
  EXPECT_EQ(ReadTree(folder.Path()), tree);
}

TEST(Journal, AReplacementThatWasNeverPutInPlaceIsDropped) {
  TempFolder folder;
  engine::Installation installation(folder.Path().string());
  WriteFile(folder.Path() / "update-journal.tmp.orvan~", "half written");
  std::string error;
  EXPECT_EQ(engine::RecoverInterruptedUpdate(installation, SampleIndex(), error), engine::RecoveryResult::Nothing);
  EXPECT_TRUE(ReadTree(folder.Path()).empty());
}

TEST(Journal, AWrittenJournalIsBoundToItsFolder) {
  TempFolder folder;
  engine::Installation installation(folder.Path().string());
  engine::Journal journal = Sample();
  journal.folderIdentity.clear();
  ASSERT_TRUE(engine::WriteJournal(installation, journal));
  engine::Journal read;
  ASSERT_EQ(engine::ReadJournal(installation, read), engine::JournalState::Found);
  EXPECT_EQ(read.folderIdentity, *platform::FolderIdentity(folder.Path().string()));
  EXPECT_EQ(read.folderWritten, installation.Folder());
  EXPECT_EQ(read.steps, journal.steps);
  EXPECT_TRUE(engine::JournalPresent(installation));
}

TEST(DetectionFiles, TheExecutableGoesLastAndChecksumAndExpansionFilesJustBefore) {
  engine::DetectionFiles detection({"VERSIONS, Orvan Gold , Orvan.EXE ,1.1.0,1.2.0", "registry,software\\x",
                                    "Checksum,Data\\Check.dat,1,2,1.0", "checksumx,other.dat,1,2,1.0",
                                    "Expansion,Orvan Isles,305419896,1.0.1, XPData ", "expansion,short,1,1.0"});
  struct Case {
    const char* path;
    int rank;
  };
  const Case cases[] = {{"orvan.exe", 2},   {"data/check.dat", 1}, {"other.dat", 1},      {"isles.xpd", 1},
                        {"maps/isle.XPD", 1}, {"isles.xpdata", 0},   {"xpd", 0},            {"data/orvan.exe", 0},
                        {"readme.txt", 0},  {"short", 0}};
  for (const auto& c : cases) EXPECT_EQ(detection.CommitRank(c.path), c.rank) << c.path;
}

}  // namespace
}  // namespace enginetest
