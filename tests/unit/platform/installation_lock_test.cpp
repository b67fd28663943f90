// One update at a time: the installation lock holds against other processes, is seen as ours by
// this one, dies with its holder, leaves nothing behind, and never waits on what it finds.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "tests/unit/platform/child_process.h"

namespace platformtest {
namespace {

namespace fs = std::filesystem;
using platform::InstallationLock;
using platform::LockOutcome;

class LockFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "lock-test-XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(folder_); }
  fs::path LockPath() const { return folder_ / platform::kInstallationLockName; }
  bool Empty() const { return fs::is_empty(folder_); }
  // What another process is told when it asks for the lock now.
  LockOutcome OutcomeInAnotherProcess() const {
    std::string folder = folder_.string();
    return static_cast<LockOutcome>(RunInChild([&folder] {
      LockOutcome outcome;
      auto lock = InstallationLock::Acquire(folder, outcome);
      return static_cast<int>(outcome);
    }));
  }

  fs::path folder_;
};

TEST_F(LockFolder, HeldItNamesItsHolderAndReleasedItLeavesNothing) {
  LockOutcome outcome;
  {
    auto lock = InstallationLock::Acquire(folder_.string(), outcome);
    ASSERT_EQ(outcome, LockOutcome::Acquired);
    ASSERT_NE(lock, nullptr);
    std::ifstream in(LockPath());
    std::string pid;
    in >> pid;
    EXPECT_EQ(pid, std::to_string(getpid()));
  }
  EXPECT_TRUE(Empty());
}

TEST_F(LockFolder, AnotherProcessIsRefusedAndThisOneToldItHoldsItAlready) {
  LockOutcome outcome;
  auto lock = InstallationLock::Acquire(folder_.string(), outcome);
  ASSERT_EQ(outcome, LockOutcome::Acquired);
  EXPECT_EQ(OutcomeInAnotherProcess(), LockOutcome::HeldByAnotherProcess);

  // The engine, loaded into the program that holds the lock, asks again: its probe is closed
  // at once, and the hold must survive that.
  LockOutcome again;
  EXPECT_EQ(InstallationLock::Acquire(folder_.string(), again), nullptr);
  EXPECT_EQ(again, LockOutcome::HeldByThisProcess);
  EXPECT_EQ(OutcomeInAnotherProcess(), LockOutcome::HeldByAnotherProcess);

  lock.reset();
  EXPECT_EQ(OutcomeInAnotherProcess(), LockOutcome::Acquired);
  EXPECT_TRUE(Empty());
}

TEST_F(LockFolder, AHolderThatWasKilledBlocksNoOne) {
  std::string folder = folder_.string();
  ASSERT_EQ(RunInChild([&folder] {
              LockOutcome outcome;
              auto lock = InstallationLock::Acquire(folder, outcome);
              if (outcome == LockOutcome::Acquired) _exit(0);  // killed: no destructor runs
              return 1;
            }),
            0);
  ASSERT_TRUE(fs::exists(LockPath()));  // the file stays, but locks nothing
  LockOutcome outcome;
  auto lock = InstallationLock::Acquire(folder, outcome);
  EXPECT_EQ(outcome, LockOutcome::Acquired);
  lock.reset();
  EXPECT_TRUE(Empty());
}

TEST_F(LockFolder, SomethingElseThanAFileUnderItsNameFailsAtOnce) {
  struct Case {
    const char* name;
    void (*plant)(const fs::path& at, const fs::path& folder);
  };
  const Case cases[] = {
      {"named pipe", [](const fs::path& at, const fs::path&) { ASSERT_EQ(mkfifo(at.c_str(), 0644), 0); }},
      {"folder", [](const fs::path& at, const fs::path&) { fs::create_directory(at); }},
      {"link to a file elsewhere",
       [](const fs::path& at, const fs::path& folder) {
         std::ofstream(folder / "victim.txt") << "not the lock's";
         fs::create_symlink(folder / "victim.txt", at);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder_);
    fs::create_directory(folder_);
    c.plant(LockPath(), folder_);
    std::string folder = folder_.string();
    EXPECT_EQ(RunInChild([&folder] {
                LockOutcome outcome;
                auto lock = InstallationLock::Acquire(folder, outcome);
                return static_cast<int>(outcome);
              }, 5),
              static_cast<int>(LockOutcome::Failed));
    if (fs::exists(folder_ / "victim.txt")) {
      std::ifstream in(folder_ / "victim.txt");
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(text, "not the lock's");
    }
  }
}

TEST_F(LockFolder, AMissingFolderFails) {
  LockOutcome outcome;
  EXPECT_EQ(InstallationLock::Acquire((folder_ / "missing").string(), outcome), nullptr);
  EXPECT_EQ(outcome, LockOutcome::Failed);
}

}  // namespace
}  // namespace platformtest
