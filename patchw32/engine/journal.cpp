// Encoding, checking, and replacing the update journal in one step.
#include "patchw32/engine/journal.h"

#include <cstring>
#include <map>

#include "patchw32/engine/fault_points.h"
#include "patchw32/engine/installation.h"
#include "patchw32/format/byte_io.h"
#include "patchw32/format/entry_path.h"
#include "patchw32/format/hash.h"
#include "patchw32/format/names.h"
#include "platform/files.h"

namespace engine {
namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'N', 'J', 'R', 'N', 'L'};
constexpr uint32_t kVersion = 2;
constexpr uint64_t kMaxJournalSize = 1ull << 30;
constexpr size_t kMaxJournalPath = 4096;  // a payload path and our suffixes
constexpr size_t kMaxIdentity = 256;
constexpr size_t kHeaderSize = 8 + 2 * 4 + 3 * 2 + 3 * 4;

void WriteText(payload::ByteWriter& out, const std::string& text) {
  out.Write<uint16_t>(static_cast<uint16_t>(text.size()));
  out.WriteText(text);
}

bool ReadText(payload::ByteReader& in, std::string& text, size_t maxLength) {
  uint16_t length = in.Read<uint16_t>();
  text = in.ReadText(length);
  return !in.Failed() && text.size() <= maxLength;
}

bool ReadPath(payload::ByteReader& in, std::string& path) {
  return ReadText(in, path, kMaxJournalPath) && payload::IsSafeRelativePath(path, kMaxJournalPath);
}

bool ReadPaths(payload::ByteReader& in, uint32_t count, std::vector<std::string>& paths) {
  paths.clear();
  for (uint32_t i = 0; i < count; ++i) {
    // Each path takes at least two bytes, so a damaged count can't make us reserve much.
    if (in.Remaining() < 2) return false;
    std::string path;
    if (!ReadPath(in, path)) return false;
    paths.push_back(std::move(path));
  }
  return true;
}

// A staged name is more than its suffix: it names the entry it stands for.
bool EndsWithFolded(const std::string& text, std::string_view suffix) {
  return text.size() > suffix.size() && payload::EndsWithName(text, suffix);
}

}  // namespace

std::string StagedName(const std::string& target) { return target + kStagedSuffix; }
std::string KeptName(const std::string& target) { return target + kSetAsideSuffix; }

std::vector<std::byte> EncodeJournal(const Journal& journal) {
  payload::ByteWriter out;
  out.WriteBytes(std::as_bytes(std::span(kMagic)));
  out.Write<uint32_t>(kVersion);
  out.Write<uint32_t>(static_cast<uint32_t>(journal.phase));
  WriteText(out, journal.folderIdentity);
  WriteText(out, journal.folderWritten);
  WriteText(out, journal.backupFolder);
  out.Write<uint32_t>(static_cast<uint32_t>(journal.folders.size()));
  out.Write<uint32_t>(static_cast<uint32_t>(journal.staged.size()));
  out.Write<uint32_t>(static_cast<uint32_t>(journal.steps.size()));
  for (const auto& path : journal.folders) WriteText(out, path);
  for (const auto& path : journal.staged) WriteText(out, path);
  for (const auto& step : journal.steps) {
    out.Write<uint8_t>(static_cast<uint8_t>(step.kind));
    WriteText(out, step.target);
  }
  out.Write<uint64_t>(payload::Hash64(out.Bytes()));
  return std::move(out.Bytes());
}

bool DecodeJournal(std::span<const std::byte> bytes, Journal& journal) {
  if (bytes.size() < kHeaderSize + 8) return false;
  auto body = bytes.first(bytes.size() - 8);
  payload::ByteReader check(bytes.last(8));
  if (check.Read<uint64_t>() != payload::Hash64(body)) return false;
  payload::ByteReader in(body);
  auto magic = in.ReadBytes(8);
  uint32_t version = in.Read<uint32_t>();
  uint32_t phase = in.Read<uint32_t>();
  if (in.Failed() || std::memcmp(magic.data(), kMagic, 8) != 0 || version != kVersion || phase < 1 || phase > 3)
    return false;
  journal.phase = static_cast<JournalPhase>(phase);
  if (!ReadText(in, journal.folderIdentity, kMaxIdentity) || journal.folderIdentity.empty() ||
      !ReadText(in, journal.folderWritten, UINT16_MAX) || !ReadText(in, journal.backupFolder, kMaxJournalPath))
    return false;
  if (!journal.backupFolder.empty() && !payload::IsSafeEntryPath(journal.backupFolder)) return false;
  uint32_t folders = in.Read<uint32_t>();
  uint32_t staged = in.Read<uint32_t>();
  uint32_t steps = in.Read<uint32_t>();
  if (in.Failed() || !ReadPaths(in, folders, journal.folders) || !ReadPaths(in, staged, journal.staged))
    return false;
  journal.steps.clear();
  for (uint32_t i = 0; i < steps; ++i) {
    if (in.Remaining() < 3) return false;
    Step step;
    uint8_t kind = in.Read<uint8_t>();
    if (kind < 1 || kind > 3 || !ReadPath(in, step.target)) return false;
    step.kind = static_cast<StepKind>(kind);
    journal.steps.push_back(std::move(step));
  }
  return in.Remaining() == 0;
}

bool JournalBelongsHere(const Journal& journal, const Installation& installation,
                        const payload::PayloadIndex& index, std::string& why) {
  auto identity = platform::FolderIdentity(installation.Folder());
  if (!identity || *identity != journal.folderIdentity) {
    why = "it was written for " + (journal.folderWritten.empty() ? std::string("another folder") : journal.folderWritten);
    return false;
  }
  std::map<std::string, payload::Operation> entries;  // folded path -> what the payload does to it
  for (const auto& entry : index.entries) entries.emplace(payload::FoldName(entry.path), entry.operation);
  auto isEntry = [&entries](const std::string& path) { return entries.count(payload::FoldName(path)) != 0; };
  auto namesOther = [&why](const std::string& path) {
    why = "it names " + ShownName(path) + ", which this update does not change";
    return false;
  };

  if (!journal.backupFolder.empty()) {
    std::string prefix = payload::FoldName(journal.backupFolder) + "/";
    for (const auto& [path, operation] : entries)
      if (path == payload::FoldName(journal.backupFolder) || path.starts_with(prefix)) return namesOther(journal.backupFolder);
  }
  for (const auto& step : journal.steps) {
    auto entry = entries.find(payload::FoldName(step.target));
    if (entry == entries.end()) return namesOther(step.target);
    // Each kind of step belongs to one kind of entry: an added file is never put back over a
    // file that the payload only modifies, and so on.
    bool matches = (step.kind == StepKind::Add && entry->second == payload::Operation::Add) ||
                   (step.kind == StepKind::Replace && entry->second == payload::Operation::Modify) ||
                   (step.kind == StepKind::Remove && entry->second == payload::Operation::Delete);
    if (!matches) {
      why = "its step for " + ShownName(step.target) + " is not what this update does to that file";
      return false;
    }
  }
  for (const auto& staged : journal.staged) {
    if (!EndsWithFolded(staged, kStagedSuffix)) return namesOther(staged);
    std::string stem = staged.substr(0, staged.size() - std::string_view(kStagedSuffix).size());
    if (!isEntry(stem)) return namesOther(staged);
  }
  for (const auto& folder : journal.folders) {
    std::string prefix = payload::FoldName(folder) + "/";
    auto above = entries.lower_bound(prefix);
    if (above == entries.end() || !above->first.starts_with(prefix)) return namesOther(folder);
  }
  return true;
}

bool WriteJournal(const Installation& installation, const Journal& journal) {
  auto identity = platform::FolderIdentity(installation.Folder());
  if (!identity) return false;
  Journal bound = journal;
  bound.folderIdentity = *identity;
  bound.folderWritten = installation.Folder();
  std::string temp = installation.Full(kJournalTempName);
  auto bytes = EncodeJournal(bound);
  bool written = false;
  if (auto file = platform::File::Open(temp, platform::File::Mode::CreateTruncate))
    written = file->WriteAt(0, bytes) && file->Flush();
  if (!written || !platform::ReplaceByRename(temp, installation.Full(kJournalName))) {
    platform::RemoveFile(temp);
    return false;
  }
  // Once renamed, the new journal is the one in force, whether or not the flush succeeds.
  platform::FlushFolder(installation.Folder());
  FaultPoint("journal written");
  return true;
}

JournalState ReadJournal(const Installation& installation, Journal& journal) {
  std::string path = installation.Full(kJournalName);
  std::string temp = installation.Full(kJournalTempName);
  // A temp file alone is a journal that was never put in place: nothing it names was begun.
  if (platform::KindOf(path) == platform::PathKind::Missing) {
    if (platform::KindOf(temp) != platform::PathKind::Missing && !platform::RemoveFile(temp))
      return JournalState::Damaged;
    return JournalState::None;
  }
  auto file = platform::File::Open(path, platform::File::Mode::Read);
  if (!file) return JournalState::Damaged;
  auto size = file->Size();
  if (!size || *size > kMaxJournalSize) return JournalState::Damaged;
  std::vector<std::byte> bytes(static_cast<size_t>(*size));
  if (!file->ReadAt(0, bytes) || !DecodeJournal(bytes, journal)) return JournalState::Damaged;
  return JournalState::Found;
}

bool JournalPresent(const Installation& installation) {
  return platform::KindOf(installation.Full(kJournalName)) != platform::PathKind::Missing;
}

bool RemoveJournal(const Installation& installation) {
  std::string temp = installation.Full(kJournalTempName);
  if (platform::KindOf(temp) != platform::PathKind::Missing) platform::RemoveFile(temp);
  std::string path = installation.Full(kJournalName);
  if (platform::KindOf(path) != platform::PathKind::Missing && !platform::RemoveFile(path)) return false;
  return platform::FlushFolder(installation.Folder());
}

}  // namespace engine
