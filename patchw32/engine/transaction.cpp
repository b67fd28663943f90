// The commit is a list of steps written to the journal before the first of them. Each step's
// state is read from which of its names exist, so undoing and finishing are safe to repeat; no
// staged file is deleted while the journal still lists the steps that would read it.
#include "patchw32/engine/transaction.h"

#include <algorithm>
#include <set>

#include "patchw32/engine/fault_points.h"
#include "platform/files.h"

namespace engine {
namespace {

bool Exists(const Installation& installation, const std::string& relative) {
  return platform::KindOf(installation.Full(relative)) != platform::PathKind::Missing;
}

std::string ParentFolder(const Installation& installation, const std::string& relative) {
  size_t slash = relative.rfind('/');
  return slash == std::string::npos ? installation.Folder() : installation.Full(relative.substr(0, slash));
}

// The staged, kept and target names of a step share their folder: flushing it makes the step durable.
void FlushParents(const Installation& installation, const std::vector<std::string>& paths, const char* step) {
  std::set<std::string> folders;
  for (const auto& path : paths) folders.insert(ParentFolder(installation, path));
  for (const auto& folder : folders)
    if (platform::KindOf(folder) == platform::PathKind::Folder) platform::FlushFolder(folder);
  FaultPoint(step);
}

std::vector<std::string> Targets(const std::vector<Step>& steps) {
  std::vector<std::string> targets;
  for (const auto& step : steps) targets.push_back(step.target);
  return targets;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// Puts one step back. Which names exist says how far it got; for Replace:
//   staged there: not replaced yet; a kept name is a second link of the target (remove it) or,
//   where it was renamed aside, the only name of the original (rename it back);
//   staged gone, kept there: replaced; the kept original is renamed over the target;
//   staged gone, kept gone: put back already.
bool UndoStep(const Installation& installation, const Step& step, std::string& error) {
  auto full = [&installation](const std::string& relative) { return installation.Full(relative); };
  auto exists = [&installation](const std::string& relative) { return Exists(installation, relative); };
  const std::string& target = step.target;
  std::string staged = StagedName(target);
  std::string kept = KeptName(target);
  bool undone = true;
  switch (step.kind) {
    case StepKind::Add:
      if (exists(staged) || !exists(target)) return true;
      undone = platform::RenamePath(full(target), full(staged));
      break;
    case StepKind::Remove:
      if (exists(target) || !exists(kept)) return true;
      undone = platform::RenamePath(full(kept), full(target));
      break;
    case StepKind::Replace:
      if (!exists(kept)) return true;
      if (!exists(staged)) undone = platform::ReplaceByRename(full(kept), full(target));
      else if (exists(target)) undone = platform::RemoveFile(full(kept));
      else undone = platform::RenamePath(full(kept), full(target));
      break;
  }
  if (!undone) {
    error = "could not put " + ShownName(target) + " back";
    return false;
  }
  FaultPoint("rollback: step undone");
  return true;
}

// Once committed, the kept original of a step is deleted, or moved into the backup folder at the
// target's path (replacing a backup of an earlier run). Gone kept name: done already.
bool FinishStep(const Installation& installation, const Journal& journal, const Step& step,
                std::vector<std::string>& backups, std::string& error) {
  std::string kept = KeptName(step.target);
  if (step.kind == StepKind::Add || !Exists(installation, kept)) return true;
  std::string keptPath = installation.Full(kept);
  if (journal.backupFolder.empty()) {
    if (RefusedByTest("finish: remove original") || !platform::RemoveFile(keptPath)) {
      error = "could not remove " + ShownName(kept);
      return false;
    }
    FaultPoint("finish: original removed");
    return true;
  }
  std::string backup = installation.Relative(
      platform::ResolveInFolder(installation.Folder(), journal.backupFolder + "/" + step.target));
  for (const auto& folder : installation.MissingFolders(backup)) {
    if (!platform::MakeFolder(installation.Full(folder))) {
      error = "could not create the folder " + ShownName(folder);
      return false;
    }
    FaultPoint("finish: folder made");
  }
  if (!platform::ReplaceByRename(keptPath, installation.Full(backup))) {
    error = "could not move " + ShownName(kept) + " into the backup folder";
    return false;
  }
  FaultPoint("finish: original backed up");
  // A rename between two names of one file changes nothing: the kept name is still there.
  if (Exists(installation, kept) && !platform::RemoveFile(keptPath)) {
    error = "could not remove " + ShownName(kept);
    return false;
  }
  backups.push_back(backup);
  return true;
}

}  // namespace

bool RollBackJournal(const Installation& installation, const Journal& journal, std::string& error) {
  if (journal.phase != JournalPhase::Staging) {
    // Latest first: the files that version detection reads were swapped last and go back first.
    for (auto step = journal.steps.rbegin(); step != journal.steps.rend(); ++step)
      if (!UndoStep(installation, *step, error)) return false;
    FlushParents(installation, Targets(journal.steps), "rollback: folders flushed");
    // The steps are undone: from here on only the staging's leftovers remain. The journal must
    // say so before a staged file goes, or a repeat would take a missing staged file for a step
    // that was done.
    Journal leftovers = journal;
    leftovers.phase = JournalPhase::Staging;
    leftovers.steps.clear();
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
  std::vector<std::string> backups;
  for (const auto& step : journal.steps)
    if (!FinishStep(installation, journal, step, backups, error)) return false;
  if (!backups.empty()) FlushParents(installation, backups, "finish: folders flushed");
  if (!RemoveJournal(installation)) {
    error = "could not remove the update journal";
    return false;
  }
  FaultPoint("finish: journal removed");
  return true;
}

RecoveryResult RecoverInterruptedUpdate(const Installation& installation, const payload::PayloadIndex& index,
                                        std::string& error) {
  std::string path = installation.Full(kJournalName);
  Journal journal;
  switch (ReadJournal(installation, journal)) {
    case JournalState::None:
      return RecoveryResult::Nothing;
    case JournalState::Damaged:
      error = "the update journal " + path + " is damaged or was not written by this engine";
      return RecoveryResult::Refused;
    case JournalState::Found:
      break;
  }
  std::string why;
  if (!JournalBelongsHere(journal, installation, index, why)) {
    error = "the update journal " + path + " does not belong to this update of this folder (" + why + ")";
    return RecoveryResult::Refused;
  }
  if (journal.phase == JournalPhase::Committed)
    return FinishJournal(installation, journal, error) ? RecoveryResult::Finished : RecoveryResult::Failed;
  return RollBackJournal(installation, journal, error) ? RecoveryResult::RolledBack : RecoveryResult::Failed;
}

Transaction::Transaction(Installation& installation, std::string backupFolder) : installation_(installation) {
  journal_.backupFolder = std::move(backupFolder);
}

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
  stagedPath = StagedName(target);
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

void Transaction::Add(StepKind kind, const std::string& target, int rank) { items_.push_back({{kind, target}, rank}); }

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
  journal_.steps.clear();
  for (const auto& item : items_) journal_.steps.push_back(item.step);
  // Our own names: anything already there is left from a run whose journal was lost.
  for (const auto& step : journal_.steps)
    if (step.kind != StepKind::Add && Exists(installation_, KeptName(step.target)))
      platform::RemoveFile(installation_.Full(KeptName(step.target)));

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
  FlushParents(installation_, Targets(journal_.steps), "commit: folders flushed");
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

// Each step leaves the target whole: a hard link keeps the original before the new file is
// renamed over it. Only where the file system has no hard links is the original renamed aside
// first, and the target missing until the next rename.
bool Transaction::Execute(std::string& error) {
  for (const auto& step : journal_.steps) {
    std::string target = installation_.Full(step.target);
    std::string staged = installation_.Full(StagedName(step.target));
    std::string kept = installation_.Full(KeptName(step.target));
    bool done = true;
    switch (step.kind) {
      case StepKind::Add:
        done = platform::RenamePath(staged, target);
        if (done) FaultPoint("commit: added");
        break;
      case StepKind::Remove:
        done = platform::RenamePath(target, kept);
        if (done) FaultPoint("commit: original renamed aside");
        break;
      case StepKind::Replace:
        if (!RefusedByTest("commit: link original") && platform::LinkFile(target, kept)) {
          FaultPoint("commit: original linked");
        } else {
          done = platform::RenamePath(target, kept);
          if (done) FaultPoint("commit: original renamed aside");
        }
        done = done && platform::ReplaceByRename(staged, target);
        if (done) FaultPoint("commit: replaced");
        break;
    }
    if (!done) {
      error = "could not replace " + ShownName(step.target) + " (it may be read-only or in use)";
      return false;
    }
  }
  return true;
}

bool Transaction::RollBack(std::string& error) {
  done_ = true;
  if (!journalWritten_) return true;
  return RollBackJournal(installation_, journal_, error);
}

}  // namespace engine
