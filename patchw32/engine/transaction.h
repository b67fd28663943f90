// All or nothing: staging new contents beside their targets, swapping them in under the journal,
// and undoing or finishing what a stopped or killed run left.
#pragma once

#include <string>
#include <vector>

#include "installation.h"
#include "journal.h"

namespace engine {

// Undoes what `journal` describes: renames back (latest first) those that were done, deletes the
// staged files and the folders the update made, then the journal. Safe to repeat after a kill.
bool RollBackJournal(const Installation& installation, const Journal& journal, std::string& error);
// Deletes the set-aside originals of a committed journal, then the journal.
bool FinishJournal(const Installation& installation, const Journal& journal, std::string& error);

enum class RecoveryResult { Nothing, RolledBack, Finished, Failed };
// What every engine start does first in its folder: a journal found there is finished (when its
// commit was complete) or rolled back. Failed leaves everything as it was and says why.
RecoveryResult RecoverInterruptedUpdate(const Installation& installation, std::string& error);

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

  // A target whose staged new contents are complete and checked, or (empty staged) a target to
  // delete. `rank` orders the commit: higher ranks are swapped in later.
  void Add(const std::string& target, const std::string& staged, bool targetExists, int rank);

  bool HasChanges() const { return !items_.empty(); }

  // Swaps everything in, detection files last; on failure rolls back and says why.
  bool Commit(std::string& error);
  // Undoes everything now; on failure the journal stays for the next start.
  bool RollBack(std::string& error);

 private:
  struct Item {
    std::string target;
    std::string staged;
    bool targetExists;
    int rank;
  };
  bool Execute(std::string& error);

  Installation& installation_;
  std::string backupFolder_;
  Journal journal_;
  bool journalWritten_ = false;
  bool done_ = false;
  std::vector<Item> items_;
};

}  // namespace engine
