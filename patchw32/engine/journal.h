// The update journal: what an update pass is about to do to the installation, kept in the
// installation folder so that the next engine start can finish or undo a run that was killed.
//
// Layout (little-endian): magic "ORVNJRNL", u32 version 1, u32 phase, four u32 counts (folders,
// staged files, renames, discards), the paths (u16 length and bytes each; a rename is two), then
// the XXH3-64 of everything before it. Paths are relative to the installation folder, separated
// by '/', and spelled as on disk. The journal is replaced whole (written beside, flushed, renamed
// over), never edited, so a reader sees one complete version of it or none.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace engine {

class Installation;

enum class JournalPhase : uint32_t {
  Staging = 1,    // new contents are being written beside their targets; nothing is replaced
  Commit = 2,     // the renames below are under way: undo them
  Committed = 3,  // all renames are done: only the discards are left to delete
};

struct Rename {
  std::string from;
  std::string to;
  bool operator==(const Rename&) const = default;
};

struct Journal {
  JournalPhase phase = JournalPhase::Staging;
  std::vector<std::string> folders;  // folders the update creates, parents first
  std::vector<std::string> staged;   // new contents beside their targets
  std::vector<Rename> renames;       // the commit, in order
  std::vector<std::string> discards; // set-aside originals to delete once committed
  bool operator==(const Journal&) const = default;
};

std::vector<std::byte> EncodeJournal(const Journal& journal);
// Checks the checksum and that every path stays inside the installation folder.
bool DecodeJournal(std::span<const std::byte> bytes, Journal& journal);

// Writes the journal so that it replaces any earlier one in one step, and makes it durable.
bool WriteJournal(const Installation& installation, const Journal& journal);

enum class JournalState { None, Found, Damaged };
JournalState ReadJournal(const Installation& installation, Journal& journal);

// Removes the journal and any half-written replacement of it.
bool RemoveJournal(const Installation& installation);

}  // namespace engine
