// All or nothing: staging new contents beside their targets, swapping them in under the journal,
// and undoing or finishing what a stopped or killed run left. TRANSACTIONS.md beside this file
// lists every step, what a kill at each leaves, and which are atomic on which file system.
#pragma once

#include <string>
#include <vector>

#include "patchw32/engine/installation.h"
#include "patchw32/engine/journal.h"
#include "patchw32/format/format.h"

namespace engine {

// Undoes what `journal` describes: the steps put back (latest first), then the staged files and
// the folders the update made deleted, then the journal. Safe to repeat after a kill.
bool RollBackJournal(const Installation& installation, const Journal& journal, std::string& error);
// Deletes (or, with a backup folder, moves there) the originals of a committed journal, then the
// journal. Safe to repeat after a kill.
bool FinishJournal(const Installation& installation, const Journal& journal, std::string& error);

enum class RecoveryResult {
  Nothing,     // no journal
  RolledBack,  // an interrupted update was undone
  Finished,    // an interrupted update was finished
  Refused,     // a journal that is damaged or not this update's for this folder; left alone
  Failed,      // the journal's update could not be finished or undone; the journal stays
};
// Finishes (when its commit was complete) or undoes the update that a journal in the folder
// describes, when that journal belongs here (JournalBelongsHere). `error` says why otherwise.
RecoveryResult RecoverInterruptedUpdate(const Installation& installation, const payload::PayloadIndex& index,
                                        std::string& error);

// One update pass's changes. Destroying it before Commit rolls everything back.
class Transaction {
 public:
  // `backupFolder`: relative, '/'-separated, or empty when the originals are not to be kept.
  Transaction(Installation& installation, std::string backupFolder);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Names, before the first of them is created, every staged file and folder that staging may
  // create; the journal is written then.
  void PlanStaging(std::vector<std::string> stagedFiles, std::vector<std::string> folders);

  // The staged file beside `target` (relative paths), its folders created; writes the staging
  // journal first when it is the first.
  bool PrepareStaging(const std::string& target, std::string& stagedPath, std::string& error);

  // A target whose staged new contents are complete and checked (Add, Replace), or a target to
  // delete (Remove). `rank` orders the commit: higher ranks are swapped in later.
  void Add(StepKind kind, const std::string& target, int rank);

  bool HasChanges() const { return !items_.empty(); }

  // Swaps everything in, detection files last; on failure rolls back and says why.
  bool Commit(std::string& error);
  // Undoes everything now; on failure the journal stays for the next start.
  bool RollBack(std::string& error);

 private:
  struct Item {
    Step step;
    int rank;
  };
  bool Execute(std::string& error);

  Installation& installation_;
  Journal journal_;
  bool journalWritten_ = false;
  bool done_ = false;
  std::vector<Item> items_;
};

}  // namespace engine
