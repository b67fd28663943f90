// The commit is a list of renames written to the journal before the first of them; each is
// undone only when its source is gone and its destination there, so undoing is safe to repeat
// as long as no source is deleted before the journal stops listing the renames.
#include "transaction.h"

#include <algorithm>
#include <set>

#include "fault_points.h"
#include "platform.h"

namespace engine {
namespace {

bool Exists(const Installation& installation, const std::string& relative) {
  return platform::KindOf(installation.Full(relative)) != platform::PathKind::Missing;
}

std::string ParentFolder(const Installation& installation, const std::string& relative) {
  size_t slash = relative.rfind('/');
  return slash == std::string::npos ? installation.Folder() : installation.Full(relative.substr(0, slash));
}

void FlushParents(const Installation& installation, const std::vector<Rename>& renames) {
  std::set<std::string> folders;
  for (const auto& rename : renames) {
    folders.insert(ParentFolder(installation, rename.from));
    folders.insert(ParentFolder(installation, rename.to));
  }
  for (const auto& folder : folders)
    if (platform::KindOf(folder) == platform::PathKind::Folder) platform::FlushFolder(folder);
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

bool RollBackJournal(const Installation& installation, const Journal& journal, std::string& error) {
  if (journal.phase != JournalPhase::Staging) {
    for (auto rename = journal.renames.rbegin(); rename != journal.renames.rend(); ++rename) {
      if (Exists(installation, rename->from) || !Exists(installation, rename->to)) continue;
      if (!platform::RenamePath(installation.Full(rename->to), installation.Full(rename->from))) {
        error = "could not put " + ShownName(rename->from) + " back";
        return false;
      }
      FaultPoint("rollback: renamed back");
    }
    FlushParents(installation, journal.renames);
    // The renames are undone: from here on only the staging's leftovers remain. The journal must
    // say so before a staged file goes, or a repeat would take a missing staged file for a rename
    // that was done.
    Journal leftovers = journal;
    leftovers.phase = JournalPhase::Staging;
    leftovers.renames.clear();
    leftovers.discards.clear();
    if (!WriteJournal(installation, leftovers)) {
      error = "could not write the update journal";
      return false;
    }
  }
  for (const auto& staged : journal.staged) {
    if (!Exists(installation, staged)) continue;
    if (!platform::RemoveFile(installation.Full(staged))) {
      error = "could not remove " + ShownName(staged);
      return false;
    }
    FaultPoint("rollback: staged file removed");
  }
  // A folder that holds something else by now is left alone.
  for (auto folder = journal.folders.rbegin(); folder != journal.folders.rend(); ++folder) {
    if (platform::KindOf(installation.Full(*folder)) != platform::PathKind::Folder) continue;
    if (platform::RemoveEmptyFolder(installation.Full(*folder))) FaultPoint("rollback: folder removed");
  }
  if (!RemoveJournal(installation)) {
    error = "could not remove the update journal";
    return false;
  }
  FaultPoint("rollback: journal removed");
  return true;
}

bool FinishJournal(const Installation& installation, const Journal& journal, std::string& error) {
  for (const auto& discard : journal.discards) {
    if (!Exists(installation, discard)) continue;
    if (!platform::RemoveFile(installation.Full(discard))) {
      error = "could not remove " + ShownName(discard);
      return false;
    }
    FaultPoint("finish: original removed");
  }
  if (!RemoveJournal(installation)) {
    error = "could not remove the update journal";
    return false;
  }
  FaultPoint("finish: journal removed");
  return true;
}

RecoveryResult RecoverInterruptedUpdate(const Installation& installation, std::string& error) {
  Journal journal;
  switch (ReadJournal(installation, journal)) {
    case JournalState::None:
      return RecoveryResult::Nothing;
    case JournalState::Damaged:
      error = "the journal of an interrupted update (" + installation.Full(kJournalName) + ") is damaged";
      return RecoveryResult::Failed;
    case JournalState::Found:
      break;
  }
  if (journal.phase == JournalPhase::Committed)
    return FinishJournal(installation, journal, error) ? RecoveryResult::Finished : RecoveryResult::Failed;
  return RollBackJournal(installation, journal, error) ? RecoveryResult::RolledBack : RecoveryResult::Failed;
}

Transaction::Transaction(Installation& installation, std::string backupFolder)
    : installation_(installation), backupFolder_(std::move(backupFolder)) {}

Transaction::~Transaction() {
  if (done_) return;
  std::string ignored;
  RollBack(ignored);
}

void Transaction::PlanStaging(std::vector<std::string> stagedFiles, std::vector<std::string> folders) {
  journal_.staged = std::move(stagedFiles);
  journal_.folders.clear();
  for (auto& folder : folders)
    if (!Contains(journal_.folders, folder)) journal_.folders.push_back(std::move(folder));
}

bool Transaction::PrepareStaging(const std::string& target, std::string& stagedPath, std::string& error) {
  stagedPath = target + kStagedSuffix;
  auto folders = installation_.MissingFolders(target);
  bool unplanned = !journalWritten_ || !Contains(journal_.staged, stagedPath);
  for (const auto& folder : folders) unplanned = unplanned || !Contains(journal_.folders, folder);
  if (unplanned) {
    if (!Contains(journal_.staged, stagedPath)) journal_.staged.push_back(stagedPath);
    for (const auto& folder : folders)
      if (!Contains(journal_.folders, folder)) journal_.folders.push_back(folder);
    if (!WriteJournal(installation_, journal_)) {
      error = "could not write the update journal in " + installation_.Folder();
      return false;
    }
    journalWritten_ = true;
  }
  for (const auto& folder : folders) {
    if (!platform::MakeFolder(installation_.Full(folder))) {
      error = "could not create the folder " + ShownName(folder);
      return false;
    }
    FaultPoint("staging: folder made");
  }
  return true;
}

void Transaction::Add(const std::string& target, const std::string& staged, bool targetExists, int rank) {
  items_.push_back({target, staged, targetExists, rank});
}

bool Transaction::Commit(std::string& error) {
  if (items_.empty()) {
    done_ = true;
    if (journalWritten_ && !RemoveJournal(installation_)) {
      error = "could not remove the update journal";
      return false;
    }
    return true;
  }
  // The files that version detection reads go last, so a kill mid-commit still shows the old
  // version and the next engine start undoes the rest.
  std::stable_sort(items_.begin(), items_.end(), [](const Item& a, const Item& b) { return a.rank < b.rank; });
  journal_.renames.clear();
  journal_.discards.clear();
  for (const auto& item : items_) {
    if (item.targetExists) {
      std::string aside;
      if (backupFolder_.empty()) {
        aside = item.target + kSetAsideSuffix;
        journal_.discards.push_back(aside);
      } else {
        aside = installation_.Resolve(backupFolder_ + "/" + item.target);
        for (auto& folder : installation_.MissingFolders(aside))
          if (!Contains(journal_.folders, folder)) journal_.folders.push_back(folder);
        // A backup left by an earlier run is replaced, and put back if this one is undone.
        if (Exists(installation_, aside)) {
          std::string earlier = aside + kSetAsideSuffix;
          journal_.renames.push_back({aside, earlier});
          journal_.discards.push_back(earlier);
        }
      }
      journal_.renames.push_back({item.target, aside});
    }
    if (!item.staged.empty()) journal_.renames.push_back({item.staged, item.target});
  }
  // Our own names: anything already there is left from a run whose journal was lost.
  for (const auto& rename : journal_.renames)
    if (rename.to.ends_with(kSetAsideSuffix) && Exists(installation_, rename.to))
      platform::RemoveFile(installation_.Full(rename.to));

  journal_.phase = JournalPhase::Commit;
  if (!WriteJournal(installation_, journal_)) {
    error = "could not write the update journal in " + installation_.Folder();
    journal_.phase = JournalPhase::Staging;
    std::string ignored;
    RollBack(ignored);
    return false;
  }
  journalWritten_ = true;
  if (!Execute(error)) {
    std::string more;
    if (!RollBack(more)) error += "; " + more;
    return false;
  }
  FlushParents(installation_, journal_.renames);
  journal_.phase = JournalPhase::Committed;
  if (!WriteJournal(installation_, journal_)) {
    error = "could not write the update journal in " + installation_.Folder();
    journal_.phase = JournalPhase::Commit;
    std::string more;
    if (!RollBack(more)) error += "; " + more;
    return false;
  }
  done_ = true;
  // Everything is in place; an original that can't be deleted now goes at the next start.
  std::string ignored;
  FinishJournal(installation_, journal_, ignored);
  return true;
}

bool Transaction::Execute(std::string& error) {
  for (const auto& rename : journal_.renames) {
    for (const auto& folder : installation_.MissingFolders(rename.to)) {
      if (!platform::MakeFolder(installation_.Full(folder))) {
        error = "could not create the folder " + ShownName(folder);
        return false;
      }
      FaultPoint("commit: folder made");
    }
    if (!platform::RenamePath(installation_.Full(rename.from), installation_.Full(rename.to))) {
      error = "could not replace " + ShownName(rename.from.ends_with(kStagedSuffix) ? rename.to : rename.from) +
              " (it may be read-only or in use)";
      return false;
    }
    FaultPoint("commit: renamed");
  }
  return true;
}

bool Transaction::RollBack(std::string& error) {
  done_ = true;
  if (!journalWritten_) return true;
  return RollBackJournal(installation_, journal_, error);
}

}  // namespace engine
