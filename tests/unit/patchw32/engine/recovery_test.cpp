// The recovery pass and the guards around the passes that change an installation: only this
// update's journal for this folder is acted on, the listing and verification passes change
// nothing whatever lies in their folder, and one updater at a time holds an installation.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "patchw32/engine/fault_points.h"
#include "patchw32/engine/installation.h"
#include "patchw32/engine/journal.h"
#include "patchw32/format/byte_io.h"
#include "patchw32/format/hash.h"
#include "platform/files.h"
#include "tests/unit/patchw32/engine/engine_fixture.h"

namespace enginetest {
namespace {

const std::vector<std::string> kRecords = {"Versions,Orvan,Orvan.exe,1.1.0,1.2.0"};

class Recovery : public ::testing::Test {
 protected:
  void SetUp() override {
    updater_ = BuildUpdater(work_.Path(), oldTree_, newTree_, kRecords);
    ResetTree(install_, oldTree_);
  }
  int32_t Run(const std::string& arguments, const fs::path& folder) {
    return RunPass(updater_, folder, arguments, script_);
  }
  int32_t Run(const std::string& arguments) { return Run(arguments, install_); }

  // Kills an update of install_ in a child after `steps` fault points: a half-done installation
  // with its journal, its staged files and a lock file that locks nothing any more.
  void KillUpdateAfter(int steps) {
    pid_t child = fork();
    if (child == 0) {
      static int left;
      left = steps;
      engine::SetFaultHandler([](const char*) {
        if (--left == 0) _exit(86);
      });
      Script script;
      RunPass(updater_, install_, "-u ", script);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 86);
  }

  TempFolder work_;
  Tree oldTree_ = {{"Orvan.exe", "1.1.0"}, {"a.txt", "a1"}, {"b.txt", "b1"}, {"thesis.txt", "a student's work"}};
  Tree newTree_ = {{"Orvan.exe", "1.2.0"}, {"a.txt", "a2"}, {"b.txt", "b2"}, {"thesis.txt", "a student's work"}};
  fs::path install_ = work_.Path() / "install";
  fs::path updater_;
  Script script_;
};

TEST_F(Recovery, IsSilentWhenThereIsNothingToDo) {
  // A lock file left by a killed run, and a journal's replacement that was never put in place.
  WriteFile(install_ / "update.lock.orvan~", "12345");
  WriteFile(install_ / "update-journal.tmp.orvan~", "half");
  Tree before = ReadTree(install_);
  before.erase("update.lock.orvan~");
  EXPECT_EQ(Run("-r"), 0);
  EXPECT_EQ(Summary(script_.events), "");
  EXPECT_EQ(ReadTree(install_), before);
}

TEST_F(Recovery, UndoesAKilledUpdateAndSaysSoOnce) {
  KillUpdateAfter(6);  // past the commit journal and the first swaps
  ASSERT_NE(ReadTree(install_), oldTree_);
  EXPECT_EQ(Run("-r"), 0);
  ASSERT_EQ(script_.events.size(), 1u);
  EXPECT_NE(FindText(script_.events, 9, "undone"), nullptr);
  EXPECT_EQ(ReadTree(install_), oldTree_);
}

TEST_F(Recovery, TheUpdatePassRecoversFirstThenUpdates) {
  KillUpdateAfter(6);
  EXPECT_EQ(Run("-u "), 0);
  EXPECT_EQ(ReadTree(install_), newTree_);
}

TEST_F(Recovery, TheListingPassLeavesAFolderWithAnotherRunsJournalByteForByte) {
  KillUpdateAfter(6);
  const Tree halfDone = ReadTree(install_);
  ASSERT_TRUE(halfDone.count("update-journal.orvan~"));
  EXPECT_EQ(Run("-l"), 0);
  EXPECT_EQ(ReadTree(install_), halfDone);
  // A listing pass given a folder that does not exist does not mind either.
  EXPECT_EQ(Run("-l", work_.Path() / "nowhere"), 0);
}

TEST_F(Recovery, TheVerificationPassReportsAJournalInTheWayAndChangesNothing) {
  KillUpdateAfter(6);
  const Tree halfDone = ReadTree(install_);
  EXPECT_NE(Run("-j"), 0);
  EXPECT_EQ(Summary(script_.events), "4");
  EXPECT_NE(FindText(script_.events, 4, (install_ / "update-journal.orvan~").string()), nullptr);
  EXPECT_EQ(ReadTree(install_), halfDone);
}

// The journal as someone else might have written it: the tester's 52 bytes of the first journal
// format, naming thesis.txt to delete once committed.
std::string FirstFormatJournal() {
  payload::ByteWriter out;
  out.WriteText("ORVNJRNL");
  for (uint32_t value : {1u, 3u, 0u, 0u, 0u, 1u}) out.Write<uint32_t>(value);
  out.Write<uint16_t>(10);
  out.WriteText("thesis.txt");
  out.Write<uint64_t>(payload::Hash64(out.Bytes()));
  return std::string(reinterpret_cast<const char*>(out.Bytes().data()), out.Bytes().size());
}

// A journal of the current format with a good checksum, written for `folder`.
std::string CraftedJournal(const fs::path& folder, engine::JournalPhase phase, std::vector<engine::Step> steps,
                           std::vector<std::string> staged = {}) {
  engine::Journal journal;
  journal.phase = phase;
  journal.folderIdentity = *platform::FolderIdentity(folder.string());
  journal.folderWritten = folder.string();
  journal.steps = std::move(steps);
  journal.staged = std::move(staged);
  auto bytes = engine::EncodeJournal(journal);
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

TEST_F(Recovery, AJournalThatIsNotThisUpdatesForThisFolderIsReportedAndChangesNothing) {
  using engine::JournalPhase;
  using engine::StepKind;
  fs::create_directory(work_.Path() / "elsewhere");
  struct Case {
    const char* name;
    std::string journal;
  };
  const Case cases[] = {
      {"the first format, deleting thesis.txt", FirstFormatJournal()},
      {"committed, thesis.txt to delete",
       CraftedJournal(install_, JournalPhase::Committed, {{StepKind::Remove, "thesis.txt"}})},
      {"under way, thesis.txt to put back over",
       CraftedJournal(install_, JournalPhase::Commit, {{StepKind::Replace, "thesis.txt"}})},
      {"staging, thesis.txt as a staged file", CraftedJournal(install_, JournalPhase::Staging, {}, {"thesis.txt"})},
      {"an added file that this payload only modifies",
       CraftedJournal(install_, JournalPhase::Commit, {{StepKind::Add, "a.txt"}})},
      {"written for another folder",
       CraftedJournal(work_.Path() / "elsewhere", JournalPhase::Commit, {{StepKind::Replace, "a.txt"}})},
      {"damaged", "ORVNJRNL and not much else"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetTree(install_, oldTree_);
    WriteFile(install_ / "thesis.txt.old.orvan~", "a student's work, kept");
    WriteFile(install_ / "update-journal.orvan~", c.journal);
    const Tree before = ReadTree(install_);
    for (const std::string pass : {"-r", "-u ", "-j"}) {
      EXPECT_NE(Run(pass), 0) << pass;
      EXPECT_EQ(Summary(script_.events), "4") << pass;
      EXPECT_NE(FindText(script_.events, 4, (install_ / "update-journal.orvan~").string()), nullptr)
          << pass << ": " << (script_.events.empty() ? "" : script_.events[0].text);
      if (pass != "-j") EXPECT_NE(FindText(script_.events, 4, "left alone"), nullptr) << pass;
      EXPECT_EQ(ReadTree(install_), before) << pass;
    }
  }
}

TEST_F(Recovery, AJournalCopiedIntoAnotherFolderIsNotActedOnThere) {
  KillUpdateAfter(6);
  Tree halfDone = ReadTree(install_);
  halfDone.erase("update.lock.orvan~");  // the killed run's: the recovery pass takes it and lets go
  fs::path copy = work_.Path() / "copy";
  WriteTree(copy, halfDone);
  EXPECT_NE(Run("-r", copy), 0);
  EXPECT_EQ(Summary(script_.events), "4");
  EXPECT_NE(FindText(script_.events, 4, "written for " + install_.string()), nullptr);
  EXPECT_EQ(ReadTree(copy), halfDone);
  // Where it was written, it is acted on.
  EXPECT_EQ(Run("-r"), 0);
  EXPECT_EQ(ReadTree(install_), oldTree_);
}

// Holds the installation's lock in a child until the returned pipe is closed.
class LockHolder {
 public:
  explicit LockHolder(const fs::path& folder) {
    int ready[2];
    if (pipe(ready) != 0 || pipe(release_) != 0) throw std::runtime_error("pipe failed");
    child_ = fork();
    if (child_ == 0) {
      platform::LockOutcome outcome;
      auto lock = platform::InstallationLock::Acquire(folder.string(), outcome);
      char byte = outcome == platform::LockOutcome::Acquired ? 'y' : 'n';
      if (write(ready[1], &byte, 1) != 1) _exit(1);
      close(release_[1]);
      if (read(release_[0], &byte, 1) < 0) _exit(1);  // until the parent closes its end
      _exit(0);
    }
    close(ready[1]);
    close(release_[0]);
    char byte = 0;
    acquired_ = read(ready[0], &byte, 1) == 1 && byte == 'y';
    close(ready[0]);
  }
  ~LockHolder() {
    close(release_[1]);
    waitpid(child_, nullptr, 0);
  }
  bool Acquired() const { return acquired_; }

 private:
  pid_t child_ = -1;
  int release_[2] = {-1, -1};
  bool acquired_ = false;
};

TEST_F(Recovery, WhileAnotherProcessHoldsTheInstallationNothingIsStagedSwappedOrRecovered) {
  KillUpdateAfter(6);
  const Tree halfDone = ReadTree(install_);
  {
    LockHolder other(install_);
    ASSERT_TRUE(other.Acquired());
    for (const std::string pass : {"-u ", "-r"}) {
      EXPECT_EQ(Run(pass), PW_IN_USE) << pass;
      EXPECT_EQ(Summary(script_.events), "4") << pass;
      EXPECT_NE(FindText(script_.events, 4, install_.string() + " is being updated by another program"), nullptr)
          << pass;
      Tree now = ReadTree(install_);
      now.erase("update.lock.orvan~");
      Tree expected = halfDone;
      expected.erase("update.lock.orvan~");
      EXPECT_EQ(now, expected) << pass;
    }
  }
  // Once it has let go (or died), the next start undoes the half-done update and leaves no lock.
  EXPECT_EQ(Run("-r"), 0);
  EXPECT_EQ(ReadTree(install_), oldTree_);
}

TEST_F(Recovery, ThePassesGoOnWhileThisProcessHoldsTheInstallation) {
  platform::LockOutcome outcome;
  auto lock = platform::InstallationLock::Acquire(install_.string(), outcome);
  ASSERT_EQ(outcome, platform::LockOutcome::Acquired);
  EXPECT_EQ(Run("-r"), 0);
  EXPECT_EQ(Run("-u "), 0);
  Tree expected = newTree_;
  expected["update.lock.orvan~"] = std::to_string(getpid());
  EXPECT_EQ(ReadTree(install_), expected);
  lock.reset();
  EXPECT_EQ(ReadTree(install_), newTree_);
}

TEST_F(Recovery, ALockThatCantBeMadeStopsOnlyWhatWouldChangeTheFolder) {
  fs::create_directory(install_ / "update.lock.orvan~");
  Tree before = ReadTree(install_);
  EXPECT_EQ(Run("-r"), 0);
  EXPECT_EQ(Summary(script_.events), "");
  EXPECT_NE(Run("-u "), 0);
  EXPECT_EQ(Summary(script_.events), "4");
  EXPECT_EQ(ReadTree(install_), before);
}

}  // namespace
}  // namespace enginetest
