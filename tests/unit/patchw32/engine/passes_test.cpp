// The verification and update passes as the updater drives them: the exact messages per kind of
// entry, mismatches, files already new, stops, backups, damaged patches and hostile paths.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "patchw32/engine/verify_pass.h"
#include "patchw32/format/payload_reader.h"
#include "patchw32/format/payload_writer.h"
#include "platform/files.h"
#include "tests/unit/patchw32/engine/engine_fixture.h"

namespace enginetest {
namespace {

const std::vector<std::string> kRecords = {"Versions,Orvan: Silent Thrones,Orvan.exe,1.1.0,1.2.0",
                                           "Expansion,Orvan Isles,305419896,1.0.1,XPD"};

// One entry of each kind: modify, delete, optional (its file not installed), add in a new
// folder, and an unchanged file that the payload does not hold.
struct Releases {
  Tree oldTree = {{"a.txt", "alpha one\n"},
                  {"gone.txt", "to be removed\n"},
                  {"isle.xpd", "expansion data 1\n"},
                  {"same.txt", "unchanged\n"},
                  {"Orvan.exe", CodeLike(50000, 1)}};
  Tree newTree = {{"a.txt", "alpha two, longer\n"},
                  {"isle.xpd", "expansion data 2\n"},
                  {"maps/m1.map", "a new map\n"},
                  {"same.txt", "unchanged\n"},
                  {"Orvan.exe", CodeLike(50000, 1).replace(1000, 5, "12345")}};
  // The player has no expansion: isle.xpd is not installed.
  Tree Installed() const {
    Tree tree = oldTree;
    tree.erase("isle.xpd");
    return tree;
  }
  Tree Updated() const {
    Tree tree = newTree;
    tree.erase("isle.xpd");
    tree["maps/"] = "";
    return tree;
  }
};

class Passes : public ::testing::Test {
 protected:
  void SetUp() override {
    updater_ = BuildUpdater(work_.Path(), releases_.oldTree, releases_.newTree, kRecords);
    ResetTree(install_, releases_.Installed());
  }
  int32_t Run(const std::string& arguments) { return RunPass(updater_, install_, arguments, script_); }

  TempFolder work_;
  Releases releases_;
  fs::path install_ = work_.Path() / "install";
  fs::path updater_;
  Script script_;
};

TEST_F(Passes, VerificationAnnouncesEachFileItWouldPatchAndChangesNothing) {
  ASSERT_EQ(Run("-j"), 0);
  EXPECT_EQ(Summary(script_.events), "6:4 7:orvan.exe 5 8 7:a.txt 5 8 7:gone.txt 5 8 7:maps/m1.map 5 8");
  // Each file's progress ends at the full 32768.
  for (size_t i = 0; i + 1 < script_.events.size(); ++i)
    if (script_.events[i].id == 5 && script_.events[i + 1].id == 8) EXPECT_EQ(script_.events[i].number, 32768u);
  EXPECT_EQ(ReadTree(install_), releases_.Installed());
}

TEST_F(Passes, UpdateAppliesEveryEntryAndLeavesNothingElse) {
  ASSERT_EQ(Run("-u "), 0);
  EXPECT_EQ(Summary(script_.events),
            "6:4 7:orvan.exe 9:Applying 5 8 7:a.txt 9:Applying 5 8 7:gone.txt 9:Applying 8 "
            "7:maps/m1.map 9:Applying 5 8");
  EXPECT_EQ(ReadTree(install_), releases_.Updated());
  // A second run finds everything in place: announced as new, nothing changed.
  ASSERT_EQ(Run("-u "), 0);
  EXPECT_EQ(Summary(script_.events), "6:3 7:orvan.exe 9:New 8 7:a.txt 9:New 8 7:maps/m1.map 9:New 8");
  ASSERT_EQ(Run("-j"), 0);
  EXPECT_EQ(ReadTree(install_), releases_.Updated());
}

TEST_F(Passes, AFileOfAnotherVersionIsReportedAndLeftAloneWhileTheRestIsPatched) {
  WriteFile(install_ / "a.txt", "modded by the player\n");
  ASSERT_EQ(Run("-j"), 0);
  EXPECT_EQ(Summary(script_.events), "6:4 7:orvan.exe 5 8 7:a.txt 5 2 8 7:gone.txt 5 8 7:maps/m1.map 5 8");
  ASSERT_NE(FindText(script_.events, 2, "file of the same name"), nullptr);

  ASSERT_EQ(Run("-u "), 0);
  EXPECT_EQ(Summary(script_.events),
            "6:4 7:orvan.exe 9:Applying 5 8 7:a.txt 2 8 7:gone.txt 9:Applying 8 7:maps/m1.map 9:Applying 5 8");
  ASSERT_NE(FindText(script_.events, 2, "file of the same name"), nullptr);
  Tree expected = releases_.Updated();
  expected["a.txt"] = "modded by the player\n";
  EXPECT_EQ(ReadTree(install_), expected);
}

TEST_F(Passes, AMissingRequiredFileIsAMismatch) {
  fs::remove(install_ / "a.txt");
  ASSERT_EQ(Run("-j"), 0);
  EXPECT_EQ(Summary(script_.events), "6:4 7:orvan.exe 5 8 7:a.txt 5 2 8 7:gone.txt 5 8 7:maps/m1.map 5 8");
  ASSERT_NE(FindText(script_.events, 2, "file of the same name"), nullptr);
}

TEST_F(Passes, WhatIsNotAFileUnderAFilesNameIsNotTheExpectedVersionAndIsNeverWaitedOn) {
  struct Case {
    const char* name;
    void (*plant)(const fs::path& at);
  };
  const Case cases[] = {
      {"named pipe", [](const fs::path& at) { ASSERT_EQ(mkfifo(at.c_str(), 0644), 0); }},
      {"folder", [](const fs::path& at) { fs::create_directories(at / "inside"); }},
  };
  for (const auto& c : cases) {
    for (const char* name : {"a.txt", "Orvan.exe"}) {
      SCOPED_TRACE(std::string(c.name) + " as " + name);
      ResetTree(install_, releases_.Installed());
      fs::remove(install_ / name);
      c.plant(install_ / name);
      Tree expected = releases_.Updated();
      expected.erase(name);
      for (const auto& [path, contents] : ReadTree(install_))
        if (path == name || path.starts_with(std::string(name) + "/")) expected[path] = contents;
      std::string shown = name == std::string("Orvan.exe") ? "orvan.exe" : name;
      for (const std::string pass : {"-j", "-u "}) {
        EXPECT_EQ(RunPassWithTimeout(updater_, install_, pass, script_), 0) << pass;
        const Event* mismatch = FindText(script_.events, 2, "file of the same name");
        ASSERT_NE(mismatch, nullptr) << pass << ": " << Summary(script_.events);
        EXPECT_TRUE(mismatch->text.starts_with(shown)) << mismatch->text;
      }
      // The update patched the rest and left the planted thing as it was.
      EXPECT_EQ(ReadTree(install_), expected);
    }
  }
}

TEST_F(Passes, AFileAlreadyAtTheNewVersionIsSaidToBeTheNewVersion) {
  WriteFile(install_ / "a.txt", releases_.newTree["a.txt"]);
  ASSERT_EQ(Run("-j"), 0);
  EXPECT_EQ(FindText(script_.events, 2, ""), nullptr);
  ASSERT_EQ(Run("-u "), 0);
  EXPECT_EQ(Summary(script_.events),
            "6:4 7:orvan.exe 9:Applying 5 8 7:a.txt 9:New 8 7:gone.txt 9:Applying 8 7:maps/m1.map 9:Applying 5 8");
  EXPECT_EQ(ReadTree(install_), releases_.Updated());
}

TEST_F(Passes, AStopAtAnyCallbackOfEitherPassLeavesTheInstallationAsItWas) {
  for (const std::string pass : {"-j", "-u ", "-u -b:Update_1.1.0_Backup"}) {
    ResetTree(install_, releases_.Installed());
    ASSERT_EQ(Run(pass), 0);
    size_t calls = script_.events.size();
    for (size_t stop = 0; stop < calls; ++stop) {
      ResetTree(install_, releases_.Installed());
      script_.stopAt = static_cast<int64_t>(stop);
      EXPECT_NE(Run(pass), 0) << pass << " stopped at call " << stop;
      EXPECT_EQ(ReadTree(install_), releases_.Installed()) << pass << " stopped at call " << stop;
      // Nothing is said after the stop.
      EXPECT_EQ(script_.events.size(), stop + 1) << pass << " stopped at call " << stop;
    }
    script_.stopAt = -1;
  }
}

TEST_F(Passes, TheBackupFolderKeepsEveryReplacedAndDeletedOriginal) {
  // A backup left by an earlier run is replaced by this run's original.
  WriteFile(install_ / "Update_1.1.0_Backup" / "a.txt", "from an earlier run\n");
  ASSERT_EQ(Run("-u -b:Update_1.1.0_Backup"), 0);
  Tree expected = releases_.Updated();
  expected["Update_1.1.0_Backup/"] = "";
  for (const char* name : {"a.txt", "gone.txt", "Orvan.exe"})
    expected[std::string("Update_1.1.0_Backup/") + name] = releases_.oldTree[name];
  EXPECT_EQ(ReadTree(install_), expected);
}

TEST_F(Passes, ABackupFolderOutsideTheInstallationIsRefused) {
  for (const std::string folder : {"../elsewhere", "/tmp/x", "c:\\x", "a/../../b"}) {
    EXPECT_NE(Run("-u -b:" + folder), 0) << folder;
    EXPECT_EQ(Summary(script_.events), "4") << folder;
    EXPECT_EQ(ReadTree(install_), releases_.Installed()) << folder;
  }
}

TEST_F(Passes, NamesMatchInstalledFilesWithoutRegardToCase) {
  Tree installed = releases_.Installed();
  installed.erase("a.txt");
  installed["A.TXT"] = releases_.oldTree["a.txt"];
  installed["MAPS/"] = "";
  ResetTree(install_, installed);
  ASSERT_EQ(Run("-u "), 0);
  Tree expected = releases_.Updated();
  expected.erase("a.txt");
  expected.erase("maps/");
  expected.erase("maps/m1.map");
  expected["A.TXT"] = releases_.newTree["a.txt"];
  expected["MAPS/"] = "";
  expected["MAPS/m1.map"] = releases_.newTree["maps/m1.map"];
  EXPECT_EQ(ReadTree(install_), expected);
}

TEST_F(Passes, AReadOnlyFileStopsTheUpdateWithNothingChanged) {
  chmod((install_ / "gone.txt").c_str(), 0444);
  EXPECT_NE(Run("-u "), 0);
  ASSERT_NE(FindText(script_.events, 4, "read-only"), nullptr);
  EXPECT_EQ(ReadTree(install_), releases_.Installed());
}

// Flips one byte of the data block of the entry at `path` in the updater.
void DamageDataBlock(const fs::path& updater, const std::string& path) {
  auto file = platform::File::Open(updater.string(), platform::File::Mode::ReadWrite);
  payload::PayloadIndex index;
  std::string error;
  ASSERT_TRUE(payload::ReadPayloadIndex(*file, index, error)) << error;
  for (const auto& entry : index.entries) {
    if (entry.path != path) continue;
    std::byte byte[1];
    uint64_t at = index.dataOffset + entry.dataOffset + entry.dataLength / 2;
    ASSERT_TRUE(file->ReadAt(at, byte));
    byte[0] ^= std::byte{0x20};
    ASSERT_TRUE(file->WriteAt(at, byte));
    return;
  }
  FAIL() << "no entry " << path;
}

TEST_F(Passes, ADamagedDataBlockIsFoundAndChangesNothing) {
  for (const char* path : {"a.txt", "maps/m1.map", "Orvan.exe"}) {
    SetUp();
    DamageDataBlock(updater_, path);
    EXPECT_EQ(Run("-j"), PW_BAD_PAYLOAD) << path;
    EXPECT_EQ(script_.events.back().id, 13) << path;
    EXPECT_EQ(Run("-u "), PW_BAD_PAYLOAD) << path;
    EXPECT_EQ(script_.events.back().id, 13) << path;
    EXPECT_EQ(ReadTree(install_), releases_.Installed()) << path;
  }
}

// An updater whose payload names one added file at `path`, built by hand as an attacker would.
fs::path HandMadeUpdater(const fs::path& at, const std::vector<std::string>& paths, uint64_t newSize = 5) {
  std::vector<payload::FileEntry> entries;
  for (const auto& path : paths) {
    payload::FileEntry entry;
    entry.path = path;
    entry.operation = payload::Operation::Add;
    entry.codec = payload::Codec::PlainZstd;
    entry.newSize = newSize;
    entries.push_back(entry);
  }
  std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.path < b.path; });
  std::string stub = "stub";
  auto index = payload::EncodeIndex({"versions,a,a.exe,1,2"}, entries, 0);
  auto trailer = payload::EncodeTrailer(stub.size(), index, 0);
  std::string bytes = stub + std::string(reinterpret_cast<const char*>(index.data()), index.size()) +
                      std::string(reinterpret_cast<const char*>(trailer.data()), trailer.size());
  WriteFile(at, bytes);
  return at;
}

TEST_F(Passes, APayloadNamingAPathOutsideTheInstallationIsRefusedBeforeAnythingIsDone) {
  const std::vector<std::vector<std::string>> hostile = {
      {"../escaped.txt"}, {"/etc/escaped.txt"}, {"sub/../../escaped.txt"}, {"c:escaped.txt"},
      {"file.txt:stream"}, {"nul"},           {"x.new.orvan~"},          {"Same.txt", "same.TXT"}};
  fs::create_directories(install_ / "sub");
  for (const auto& paths : hostile) {
    fs::path updater = HandMadeUpdater(work_.Path() / "hostile", paths);
    for (const std::string pass : {"-j", "-u "}) {
      EXPECT_EQ(RunPass(updater, install_, pass, script_), PW_BAD_PAYLOAD) << paths[0];
      EXPECT_EQ(Summary(script_.events), "14") << paths[0];
    }
    EXPECT_FALSE(fs::exists(work_.Path() / "escaped.txt")) << paths[0];
  }
}

TEST_F(Passes, TooLittleSpaceIsReportedWithTheBytesRequiredAndTheReplyDecides) {
  // A file far larger than any disk: the verification pass never writes it, it only counts it.
  fs::path updater = HandMadeUpdater(work_.Path() / "huge", {"huge.pak"}, uint64_t{1} << 60);
  script_.goOnAfterStorage = true;
  ASSERT_EQ(RunPass(updater, install_, "-j", script_), 0);
  const Event* storage = FindText(script_.events, 4, "Insufficient Storage");
  ASSERT_NE(storage, nullptr);
  // The number right before the first " bytes" is what the update needs.
  std::string text = storage->text;
  size_t bytes = text.find(" bytes");
  size_t start = text.rfind(' ', bytes - 1) + 1;
  uint64_t required = std::stoull(text.substr(start, bytes - start));
  payload::FileEntry entry;
  entry.newSize = uint64_t{1} << 60;
  entry.path = "huge.pak";
  EXPECT_EQ(required, engine::RequiredBytes({&entry}, entry.path.size()));
  EXPECT_GE(required, uint64_t{1} << 60);

  script_.goOnAfterStorage = false;
  EXPECT_EQ(RunPass(updater, install_, "-j", script_), PW_STOPPED);
  EXPECT_EQ(ReadTree(install_), releases_.Installed());
}

TEST_F(Passes, ADamagedIndexIsReportedAsSuchInThePassesOverTheInstallation) {
  std::string bytes = ReadFile(updater_);
  bytes[bytes.find("ORVNPAY") + 60] ^= 1;  // inside the index's records
  WriteFile(updater_, bytes);
  for (const std::string pass : {"-j", "-u "}) {
    EXPECT_EQ(Run(pass), PW_BAD_PAYLOAD);
    EXPECT_EQ(Summary(script_.events), "14");
  }
  // The listing pass's host shows an error text as its corrupt-patch box.
  EXPECT_EQ(RunPass(updater_, install_, "-l", script_), PW_BAD_PAYLOAD);
  EXPECT_EQ(Summary(script_.events), "4");
  EXPECT_EQ(ReadTree(install_), releases_.Installed());
}

}  // namespace
}  // namespace enginetest
