// A process killed at any step of the commit, and again at any step of the recovery that follows,
// leaves an installation that the next engine start makes all-old or all-new, never mixed.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <unistd.h>

#include "engine_fixture.h"
#include "fault_points.h"

namespace enginetest {
namespace {

constexpr int kKilled = 86;
int faultsLeft = 0;

// Counts the steps; at the chosen one the process ends at once, as if it were killed.
void KillAtChosenStep(const char*) {
  if (--faultsLeft == 0) _exit(kKilled);
}

// Runs a pass in a child process that is killed at fault point `step` (1-based). True when it
// was killed there; false when the pass ended before reaching it.
bool RunKilledAt(int step, const fs::path& updater, const fs::path& folder, const std::string& pass) {
  pid_t child = fork();
  if (child == 0) {
    faultsLeft = step;
    engine::SetFaultHandler(KillAtChosenStep);
    Script script;
    int32_t result = RunPass(updater, folder, pass, script);
    _exit(result == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status)) ADD_FAILURE() << "the child ended abnormally";
  return WIFEXITED(status) && WEXITSTATUS(status) == kKilled;
}

const std::vector<std::string> kRecords = {"Versions,Orvan,Orvan.exe,1.1.0,1.2.0",
                                           "checksum,data\\Check.dat,1234,100,1.1.0"};

// The paths where two trees differ, for a failure's message.
std::string Differences(const Tree& a, const Tree& b) {
  std::string out;
  for (const auto& [path, contents] : a)
    if (!b.count(path) || b.at(path) != contents) out += " " + path;
  for (const auto& [path, contents] : b)
    if (!a.count(path)) out += " +" + path;
  return out;
}

struct Case {
  const char* name;
  std::string updateArguments;
};

TEST(FaultInjection, EveryKillDuringCommitOrRecoveryEndsAllOldOrAllNew) {
  TempFolder work;
  Tree oldTree = {{"Orvan.exe", CodeLike(20000, 7)},
                  {"data/check.dat", "checked by the version detection, 1.1.0\n"},
                  {"data/level.pak", CodeLike(30000, 9)},
                  {"gone.txt", "removed in 1.2.0\n"}};
  Tree newTree = {{"Orvan.exe", CodeLike(20000, 7).replace(500, 3, "new")},
                  {"data/check.dat", "checked by the version detection, 1.2.0\n"},
                  {"data/level.pak", CodeLike(30000, 9).replace(100, 4, "lvl2")},
                  {"maps/isle/m1.map", "a map in a new folder\n"}};
  fs::path updater = BuildUpdater(work.Path(), oldTree, newTree, kRecords);
  fs::path install = work.Path() / "install";

  for (const Case& row : {Case{"no backup", "-u "}, Case{"backup", "-u -b:Update_1.1.0_Backup"}}) {
    // What all-old and all-new look like for this row: before and after one clean run.
    ResetTree(install, oldTree);
    const Tree allOld = ReadTree(install);
    Script script;
    ASSERT_EQ(RunPass(updater, install, row.updateArguments, script), 0) << row.name;
    const Tree allNew = ReadTree(install);

    int commitKills = 0;
    for (int step = 1;; ++step) {
      ResetTree(install, oldTree);
      if (!RunKilledAt(step, updater, install, row.updateArguments)) break;
      ++commitKills;
      const Tree killed = ReadTree(install);
      // Detection reads the executable: while it is old, nothing may look finished.
      auto in = [&killed](const std::string& path) { return killed.count(path) ? killed.at(path) : "(missing)"; };
      if (in("Orvan.exe") == newTree.at("Orvan.exe")) {
        EXPECT_EQ(in("data/check.dat"), newTree.at("data/check.dat")) << row.name << " step " << step;
        EXPECT_EQ(in("data/level.pak"), newTree.at("data/level.pak")) << row.name << " step " << step;
      }
      // The next start (here a verification pass, killed in turn at each of its own steps).
      for (int recoveryStep = 1;; ++recoveryStep) {
        ResetTree(install, killed);
        bool killedAgain = RunKilledAt(recoveryStep, updater, install, "-j");
        if (killedAgain) {
          Script next;
          RunPass(updater, install, "-j", next);
        }
        Tree after = ReadTree(install);
        EXPECT_TRUE(after == allOld || after == allNew)
            << row.name << ": killed at commit step " << step << ", then at recovery step " << recoveryStep
            << "; differs from all-old in" << Differences(allOld, after);
        if (!killedAgain) break;
      }
    }
    // The journal, the folders, every rename and every clean-up are steps.
    EXPECT_GE(commitKills, 10) << row.name;
  }
}

TEST(FaultInjection, AFullDiskWhileStagingRollsEverythingBack) {
  TempFolder work;
  Tree oldTree = {{"Orvan.exe", "1.1.0"}, {"a.txt", "a1"}, {"big.pak", CodeLike(1 << 20, 5)}};
  Tree newTree = {{"Orvan.exe", "1.2.0"}, {"a.txt", "a2"}, {"big.pak", CodeLike(1 << 20, 6)}};
  fs::path updater = BuildUpdater(work.Path(), oldTree, newTree, kRecords);
  fs::path install = work.Path() / "install";
  ResetTree(install, oldTree);
  const Tree allOld = ReadTree(install);
  pid_t child = fork();
  if (child == 0) {
    // No file may grow past 64 KiB: the big file's staged copy meets a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64 << 10, 64 << 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    Script script;
    int32_t result = RunPass(updater, install, "-u ", script);
    bool reported = FindText(script.events, 4, "disk may be full") != nullptr;
    _exit(result != 0 && reported ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the update did not fail with a full-disk error";
  EXPECT_EQ(ReadTree(install), allOld);
}

TEST(FaultInjection, TheListingPassAlsoRecoversAKilledRunInItsFolder) {
  TempFolder work;
  Tree oldTree = {{"Orvan.exe", "1.1.0"}, {"a.txt", "a1"}, {"b.txt", "b1"}};
  Tree newTree = {{"Orvan.exe", "1.2.0"}, {"a.txt", "a2"}, {"b.txt", "b2"}};
  fs::path updater = BuildUpdater(work.Path(), oldTree, newTree, kRecords);
  fs::path install = work.Path() / "install";
  ResetTree(install, oldTree);
  const Tree allOld = ReadTree(install);
  // Past the commit journal and the first renames: a mixed installation with its journal.
  ASSERT_TRUE(RunKilledAt(6, updater, install, "-u "));
  ASSERT_NE(ReadTree(install), allOld);
  Script script;
  EXPECT_EQ(RunPass(updater, install, "-l", script), 0);
  EXPECT_EQ(ReadTree(install), allOld);
}

}  // namespace
}  // namespace enginetest
