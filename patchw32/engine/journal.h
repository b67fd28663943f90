// The update journal: what an update pass is about to do to the installation, kept in the
// installation folder so that the next engine start can finish or undo a run that was killed.
//
// Layout (little-endian): magic "ORVNJRNL", u32 version 2, u32 phase; three texts (u16 length and
// bytes each): the identity of the folder it was written in, that folder's path as written, the
// backup folder (empty without one); three u32 counts (folders, staged files, steps); the paths
// (u16 length and bytes each; a step is a u8 kind before its target); then the XXH3-64 of
// everything before it. Paths are relative to the installation folder, separated by '/', and
// spelled as on disk. The journal is replaced whole (written beside, flushed, renamed over),
// never edited, so a reader sees one complete version of it or none.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "patchw32/format/format.h"

namespace engine {

class Installation;

enum class JournalPhase : uint32_t {
  Staging = 1,    // new contents are being written beside their targets; nothing is replaced
  Commit = 2,     // the steps below are under way: undo them
  Committed = 3,  // all steps are done: only the originals are left to delete or back up
};

// One target's change. Its other names follow from the target: the staged new contents are
// target + ".new.orvan~", the original kept aside target + ".old.orvan~".
enum class StepKind : uint8_t {
  Add = 1,      // the staged file is renamed to the target, which did not exist
  Replace = 2,  // the original is kept aside (a hard link, else a rename), the staged file renamed over it
  Remove = 3,   // the original is renamed aside
};

struct Step {
  StepKind kind = StepKind::Add;
  std::string target;
  bool operator==(const Step&) const = default;
};

struct Journal {
  JournalPhase phase = JournalPhase::Staging;
  std::string folderIdentity;        // platform::FolderIdentity of the folder it was written in
  std::string folderWritten;         // that folder's path as written, for messages
  std::string backupFolder;          // -b:, resolved; the originals go there once committed
  std::vector<std::string> folders;  // folders the staging creates, parents first
  std::vector<std::string> staged;   // new contents beside their targets
  std::vector<Step> steps;           // the commit, in order
  bool operator==(const Journal&) const = default;
};

std::string StagedName(const std::string& target);
std::string KeptName(const std::string& target);

std::vector<std::byte> EncodeJournal(const Journal& journal);
// Checks the checksum, the layout, and that every path stays inside the installation folder.
bool DecodeJournal(std::span<const std::byte> bytes, Journal& journal);

// Whether the engine may act on `journal` in this installation for this payload: written for
// this very folder, and naming nothing but the payload's entries, their staged and kept-aside
// names, the folders above entries, and a backup folder that holds no entry. `why` says what
// is wrong otherwise.
bool JournalBelongsHere(const Journal& journal, const Installation& installation,
                        const payload::PayloadIndex& index, std::string& why);

// Writes the journal, bound to the installation's folder, so that it replaces any earlier one
// in one step, and makes it durable. False when the folder can't be identified or written.
bool WriteJournal(const Installation& installation, const Journal& journal);

enum class JournalState { None, Found, Damaged };
// Reads the journal in the folder; a replacement that was never put in place is dropped.
JournalState ReadJournal(const Installation& installation, Journal& journal);
// Whether a journal is in the folder (a half-written replacement alone is none); changes nothing.
bool JournalPresent(const Installation& installation);

// Removes the journal and any half-written replacement of it.
bool RemoveJournal(const Installation& installation);

}  // namespace engine
