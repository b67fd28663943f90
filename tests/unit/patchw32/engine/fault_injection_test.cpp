// A process killed at any step of the commit, and again at any step of the recovery pass that
// follows, leaves an installation that the next recovery pass makes all-old or all-new, never
// mixed; and at no step does a file that the update keeps lack its whole contents.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

#include "patchw32/engine/fault_points.h"
#include "tests/unit/patchw32/engine/engine_fixture.h"

namespace enginetest {
namespace {

constexpr int kKilled = 86;
int faultsLeft = 0;

// Counts the steps; at the chosen one the process ends at once, as if it were killed.
void KillAtChosenStep(const char*) {
  if (--faultsLeft == 0) _exit(kKilled);
}

// A file system without hard links: the commit renames the originals aside instead.
bool NoHardLinks(const char* step) { return std::strcmp(step, "commit: link original") == 0; }

// Runs a pass in a child process that is killed at fault point `step` (1-based). True when it
// was killed there; false when the pass ended before reaching it.
bool RunKilledAt(int step, const fs::path& updater, const fs::path& folder, const std::string& pass,
                 bool hardLinks = true) {
  pid_t child = fork();
  if (child == 0) {
    faultsLeft = step;
    engine::SetFaultHandler(KillAtChosenStep);
    if (!hardLinks) engine::SetRefusalHandler(NoHardLinks);
    Script script;
    int32_t result = RunPass(updater, folder, pass, script);
    _exit(result == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status)) ADD_FAILURE() << "the child ended abnormally";
  return WIFEXITED(status) && WEXITSTATUS(status) == kKilled;
}

// The detection files: the executable, a checksum record's file, and an expansion file.
const std::vector<std::string> kRecords = {"Versions,Orvan,Orvan.exe,1.1.0,1.2.0",
                                           "checksum,data\\Check.dat,1234,100,1.1.0",
                                           "Expansion,Orvan Isles,305419896,1.0.1,XPD"};

// The paths where two trees differ, for a failure's message.
std::string Differences(const Tree& a, const Tree& b) {
  std::string out;
  for (const auto& [path, contents] : a)
    if (!b.count(path) || b.at(path) != contents) out += " " + path;
  for (const auto& [path, contents] : b)
    if (!a.count(path)) out += " +" + path;
  return out;
}

class Releases {
 public:
  Tree oldTree = {{"Orvan.exe", CodeLike(20000, 7)},
                  {"data/check.dat", "checked by the version detection, 1.1.0\n"},
                  {"data/level.pak", CodeLike(30000, 9)},
                  {"isles.xpd", "expansion data, read by the version detection, 1.0.1\n"},
                  {"gone.txt", "removed in 1.2.0\n"}};
  Tree newTree = {{"Orvan.exe", CodeLike(20000, 7).replace(500, 3, "new")},
                  {"data/check.dat", "checked by the version detection, 1.2.0\n"},
                  {"data/level.pak", CodeLike(30000, 9).replace(100, 4, "lvl2")},
                  {"isles.xpd", "expansion data, read by the version detection, 1.0.2\n"},
                  {"maps/isle/m1.map", "a map in a new folder\n"}};
  // The commit's order: a file of a later group is swapped in only after every file of the
  // earlier ones, and put back before any of them.
  std::vector<std::vector<std::string>> groups = {
      {"data/level.pak", "gone.txt", "maps/isle/m1.map"}, {"data/check.dat", "isles.xpd"}, {"Orvan.exe"}};

  // "old", "new", or, for a file that one release lacks, "missing" when it is that release's
  // state; anything else is "damaged".
  std::string StateOf(const Tree& tree, const std::string& path) const {
    bool there = tree.count(path) != 0;
    bool inOld = oldTree.count(path) != 0;
    bool inNew = newTree.count(path) != 0;
    if (!there) return inOld && inNew ? "missing" : inOld ? "new" : "old";
    if (inOld && tree.at(path) == oldTree.at(path)) return "old";
    if (inNew && tree.at(path) == newTree.at(path)) return "new";
    return "damaged";
  }

  // What must hold at every instant of the commit and of the undoing: every file that both
  // releases have is there whole, old or new (without hard links, a target may be missing for
  // a moment while its original is whole under its kept name); the groups go in order.
  void ExpectConsistent(const Tree& tree, bool hardLinks, const std::string& where) const {
    for (const auto& [path, contents] : oldTree) {
      std::string state = StateOf(tree, path);
      bool keptWhole = tree.count(path + ".old.orvan~") && tree.at(path + ".old.orvan~") == contents;
      if (state == "missing" && !hardLinks && keptWhole) continue;
      EXPECT_TRUE(state == "old" || state == "new") << where << ": " << path << " is " << state;
    }
    for (size_t later = 1; later < groups.size(); ++later) {
      bool laterNew = false;
      for (const auto& path : groups[later]) laterNew = laterNew || StateOf(tree, path) == "new";
      if (!laterNew) continue;
      for (size_t earlier = 0; earlier < later; ++earlier)
        for (const auto& path : groups[earlier])
          EXPECT_EQ(StateOf(tree, path), "new") << where << ": " << groups[later][0] << " is new before " << path;
    }
  }
};

struct Case {
  const char* name;
  std::string updateArguments;
  bool hardLinks;
};

TEST(FaultInjection, EveryKillDuringCommitOrRecoveryEndsAllOldOrAllNewWithNoFileEverMissing) {
  TempFolder work;
  Releases releases;
  fs::path updater = BuildUpdater(work.Path(), releases.oldTree, releases.newTree, kRecords);
  fs::path install = work.Path() / "install";

  // Without hard links only the swap differs; the backup is made after it, the same either way.
  const Case cases[] = {{"no backup", "-u ", true},
                        {"backup", "-u -b:Update_1.1.0_Backup", true},
                        {"no hard links", "-u ", false}};
  for (const Case& row : cases) {
    // What all-old and all-new look like for this row: before and after one clean run.
    ResetTree(install, releases.oldTree);
    const Tree allOld = ReadTree(install);
    Script script;
    ASSERT_EQ(RunPass(updater, install, row.updateArguments, script), 0) << row.name;
    const Tree allNew = ReadTree(install);

    int commitKills = 0;
    for (int step = 1;; ++step) {
      ResetTree(install, releases.oldTree);
      if (!RunKilledAt(step, updater, install, row.updateArguments, row.hardLinks)) break;
      ++commitKills;
      const Tree killed = ReadTree(install);
      std::string where = std::string(row.name) + ", killed at commit step " + std::to_string(step);
      releases.ExpectConsistent(killed, row.hardLinks, where);

      // The next start's recovery pass, killed in turn at each of its own steps, then run whole.
      for (int recoveryStep = 1;; ++recoveryStep) {
        ResetTree(install, killed);
        bool killedAgain = RunKilledAt(recoveryStep, updater, install, "-r");
        std::string again = where + ", then at recovery step " + std::to_string(recoveryStep);
        if (killedAgain) releases.ExpectConsistent(ReadTree(install), row.hardLinks, again);
        bool journal = fs::exists(install / "update-journal.orvan~");
        Script next;
        EXPECT_EQ(RunPass(updater, install, "-r", next), 0)
            << again << ": " << (FindText(next.events, 4, "") ? FindText(next.events, 4, "")->text : "");
        Tree after = ReadTree(install);
        EXPECT_TRUE(after == allOld || after == allNew)
            << again << "; differs from all-old in" << Differences(allOld, after);
        // It says once what it did, and nothing when there was nothing to do.
        if (!journal) EXPECT_EQ(Summary(next.events), "") << again;
        else if (after == allNew) EXPECT_NE(FindText(next.events, 9, "finished"), nullptr) << again;
        else EXPECT_NE(FindText(next.events, 9, "undone"), nullptr) << again;
        if (journal) EXPECT_EQ(next.events.size(), 1u) << again;
        if (!killedAgain) break;
      }
    }
    // The journal, the folders, every link and rename, the flushes and every clean-up are steps.
    EXPECT_GE(commitKills, 15) << row.name;
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

// An original that can't be deleted once everything is swapped in (another program holds it
// open) does not fail the update; the next recovery pass deletes it.
bool OriginalsHeldOpen(const char* step) { return std::strcmp(step, "finish: remove original") == 0; }

TEST(FaultInjection, AnOriginalThatCantBeDeletedAfterTheCommitGoesAtTheNextRecovery) {
  TempFolder work;
  Releases releases;
  fs::path updater = BuildUpdater(work.Path(), releases.oldTree, releases.newTree, kRecords);
  fs::path install = work.Path() / "install";
  ResetTree(install, releases.oldTree);
  Script script;
  engine::SetRefusalHandler(OriginalsHeldOpen);
  int32_t result = RunPass(updater, install, "-u ", script);
  engine::SetRefusalHandler(nullptr);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(FindText(script.events, 4, ""), nullptr);
  Tree left = ReadTree(install);
  EXPECT_TRUE(left.count("update-journal.orvan~"));
  EXPECT_EQ(left["Orvan.exe.old.orvan~"], releases.oldTree["Orvan.exe"]);

  ASSERT_EQ(RunPass(updater, install, "-r", script), 0);
  ASSERT_EQ(script.events.size(), 1u);
  EXPECT_NE(FindText(script.events, 9, "finished"), nullptr);
  Tree expected = releases.newTree;
  expected["data/"] = expected["maps/"] = expected["maps/isle/"] = "";
  EXPECT_EQ(ReadTree(install), expected) << Differences(expected, ReadTree(install));
}

}  // namespace
}  // namespace enginetest
