// The journal comes back exactly as written, and any damage to it is refused, never acted on.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "installation.h"
#include "journal.h"
#include "transaction.h"

namespace enginetest {
namespace {

engine::Journal Sample() {
  engine::Journal journal;
  journal.phase = engine::JournalPhase::Commit;
  journal.folders = {"maps", "maps/isle", "Update_1.1.0_Backup"};
  journal.staged = {"Orvan.exe.new.orvan~", "maps/isle/m1.map.new.orvan~"};
  journal.renames = {{"Orvan.exe", "Update_1.1.0_Backup/Orvan.exe"}, {"Orvan.exe.new.orvan~", "Orvan.exe"}};
  journal.discards = {"gone.txt.old.orvan~"};
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
  for (const char* path : {"../outside", "/etc/passwd", "a/../../b", "c:x"}) {
    auto journal = Sample();
    journal.discards = {path};
    engine::Journal read;
    EXPECT_FALSE(engine::DecodeJournal(engine::EncodeJournal(journal), read)) << path;
  }
}

TEST(Journal, ADamagedJournalStopsRecoveryAndTouchesNothing) {
  TempFolder folder;
  Tree tree = {{"a.txt.new.orvan~", "staged"}, {"update-journal.orvan~", "not a journal"}};
  WriteTree(folder.Path(), tree);
  engine::Installation installation(folder.Path().string());
  std::string error;
  EXPECT_EQ(engine::RecoverInterruptedUpdate(installation, error), engine::RecoveryResult::Failed);
  EXPECT_NE(error.find("damaged"), std::string::npos);
  EXPECT_EQ(ReadTree(folder.Path()), tree);
}

TEST(Journal, AReplacementThatWasNeverPutInPlaceIsDropped) {
  TempFolder folder;
  engine::Installation installation(folder.Path().string());
  WriteFile(folder.Path() / "update-journal.tmp.orvan~", "half written");
  std::string error;
  EXPECT_EQ(engine::RecoverInterruptedUpdate(installation, error), engine::RecoveryResult::Nothing);
  EXPECT_TRUE(ReadTree(folder.Path()).empty());
}

TEST(DetectionFiles, TheExecutableGoesLastAndChecksumFilesJustBefore) {
  engine::DetectionFiles detection({"VERSIONS, Orvan Gold , Orvan.EXE ,1.1.0,1.2.0", "registry,software\\x",
                                    "Checksum,Data\\Check.dat,1,2,1.0", "checksumx,other.dat,1,2,1.0"});
  EXPECT_EQ(detection.CommitRank("orvan.exe"), 2);
  EXPECT_EQ(detection.CommitRank("data/check.dat"), 1);
  EXPECT_EQ(detection.CommitRank("other.dat"), 1);
  EXPECT_EQ(detection.CommitRank("data/orvan.exe"), 0);
  EXPECT_EQ(detection.CommitRank("readme.txt"), 0);
}

}  // namespace
}  // namespace enginetest
