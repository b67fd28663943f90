// Encoding, checking, and replacing the update journal in one step.
#include "journal.h"

#include <cstring>

#include "byte_io.h"
#include "entry_path.h"
#include "fault_points.h"
#include "hash.h"
#include "installation.h"
#include "platform.h"

namespace engine {
namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'N', 'J', 'R', 'N', 'L'};
constexpr uint32_t kVersion = 1;
constexpr uint64_t kMaxJournalSize = 1ull << 30;
constexpr size_t kMaxJournalPath = 4096;  // a payload path, a backup folder and our suffixes

void WritePath(payload::ByteWriter& out, const std::string& path) {
  out.Write<uint16_t>(static_cast<uint16_t>(path.size()));
  out.WriteText(path);
}

bool ReadPath(payload::ByteReader& in, std::string& path) {
  uint16_t length = in.Read<uint16_t>();
  path = in.ReadText(length);
  return !in.Failed() && payload::IsSafeRelativePath(path, kMaxJournalPath);
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

}  // namespace

std::vector<std::byte> EncodeJournal(const Journal& journal) {
  payload::ByteWriter out;
  out.WriteBytes(std::as_bytes(std::span(kMagic)));
  out.Write<uint32_t>(kVersion);
  out.Write<uint32_t>(static_cast<uint32_t>(journal.phase));
  out.Write<uint32_t>(static_cast<uint32_t>(journal.folders.size()));
  out.Write<uint32_t>(static_cast<uint32_t>(journal.staged.size()));
  out.Write<uint32_t>(static_cast<uint32_t>(journal.renames.size()));
  out.Write<uint32_t>(static_cast<uint32_t>(journal.discards.size()));
  for (const auto& path : journal.folders) WritePath(out, path);
  for (const auto& path : journal.staged) WritePath(out, path);
  for (const auto& rename : journal.renames) {
    WritePath(out, rename.from);
    WritePath(out, rename.to);
  }
  for (const auto& path : journal.discards) WritePath(out, path);
  out.Write<uint64_t>(payload::Hash64(out.Bytes()));
  return std::move(out.Bytes());
}

bool DecodeJournal(std::span<const std::byte> bytes, Journal& journal) {
  if (bytes.size() < 8 + 6 * 4 + 8) return false;
  auto body = bytes.first(bytes.size() - 8);
  payload::ByteReader check(bytes.last(8));
  if (check.Read<uint64_t>() != payload::Hash64(body)) return false;
  payload::ByteReader in(body);
  auto magic = in.ReadBytes(8);
  uint32_t version = in.Read<uint32_t>();
  uint32_t phase = in.Read<uint32_t>();
  uint32_t folders = in.Read<uint32_t>();
  uint32_t staged = in.Read<uint32_t>();
  uint32_t renames = in.Read<uint32_t>();
  uint32_t discards = in.Read<uint32_t>();
  if (in.Failed() || std::memcmp(magic.data(), kMagic, 8) != 0 || version != kVersion || phase < 1 || phase > 3)
    return false;
  journal.phase = static_cast<JournalPhase>(phase);
  if (!ReadPaths(in, folders, journal.folders) || !ReadPaths(in, staged, journal.staged)) return false;
  journal.renames.clear();
  for (uint32_t i = 0; i < renames; ++i) {
    Rename rename;
    if (in.Remaining() < 4 || !ReadPath(in, rename.from) || !ReadPath(in, rename.to)) return false;
    journal.renames.push_back(std::move(rename));
  }
  return ReadPaths(in, discards, journal.discards) && in.Remaining() == 0;
}

bool WriteJournal(const Installation& installation, const Journal& journal) {
  std::string temp = installation.Full(kJournalTempName);
  auto bytes = EncodeJournal(journal);
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

bool RemoveJournal(const Installation& installation) {
  std::string temp = installation.Full(kJournalTempName);
  if (platform::KindOf(temp) != platform::PathKind::Missing) platform::RemoveFile(temp);
  std::string path = installation.Full(kJournalName);
  if (platform::KindOf(path) != platform::PathKind::Missing && !platform::RemoveFile(path)) return false;
  return platform::FlushFolder(installation.Folder());
}

}  // namespace engine
