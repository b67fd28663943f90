// Checking installed files by size and XXH3-128, in fixed-size pieces whatever the file's size.
#include "patchw32/engine/installed_file.h"

#include <algorithm>
#include <memory>

#include "patchw32/engine/messages.h"
#include "patchw32/format/hash.h"

namespace engine {
namespace {

constexpr size_t kReadPiece = 1 << 20;

// The buffer a file or a data block is hashed through, no larger than it, and not cleared first:
// every byte hashed is read into it.
struct Piece {
  explicit Piece(uint64_t bytes)
      : size(static_cast<size_t>(std::min<uint64_t>(kReadPiece, bytes))),
        data(std::make_unique_for_overwrite<std::byte[]>(size)) {}
  size_t size;
  std::unique_ptr<std::byte[]> data;
};

ReadOutcome HashFile(const std::string& path, uint64_t size, const ByteProgress& progress,
                     payload::Hash128& hash) {
  auto file = platform::File::Open(path, platform::File::Mode::Read);
  if (!file) return ReadOutcome::ReadError;
  payload::StreamingHash128 hasher;
  Piece piece(size);
  for (uint64_t done = 0; done < size;) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(piece.size, size - done));
    if (!file->ReadAt(done, std::span(piece.data.get(), want))) return ReadOutcome::ReadError;
    hasher.Update(std::span(piece.data.get(), want));
    done += want;
    if (progress && !progress(done, size)) return ReadOutcome::Stopped;
  }
  // A file that grew while it was read is not the one that was hashed.
  auto now = file->Size();
  if (!now || *now != size) return ReadOutcome::ReadError;
  hash = hasher.Digest();
  return ReadOutcome::Ok;
}

}  // namespace

std::vector<PlannedFile> PlanAnnouncedFiles(const payload::PayloadIndex& index, Installation& installation) {
  std::vector<PlannedFile> planned;
  for (const auto& entry : index.entries) {
    PlannedFile file;
    file.entry = &entry;
    file.target = installation.Resolve(entry.path);
    file.kind = platform::KindOf(installation.Full(file.target));
    for (const auto& reference : entry.references) file.references.push_back(installation.Resolve(reference.path));
    bool missing = file.kind == platform::PathKind::Missing;
    if (missing && (entry.Optional() || entry.operation == payload::Operation::Delete)) continue;
    planned.push_back(std::move(file));
  }
  return planned;
}

namespace {

// Whether the file at `target` holds what the reference says.
ReadOutcome CheckReference(const Installation& installation, const std::string& target,
                           const payload::Reference& reference, const ByteProgress& progress, bool& matches) {
  matches = false;
  std::string path = installation.Full(target);
  if (platform::KindOf(path) != platform::PathKind::File) return ReadOutcome::Ok;
  auto opened = platform::File::Open(path, platform::File::Mode::Read);
  if (!opened) return ReadOutcome::ReadError;
  auto size = opened->Size();
  opened.reset();
  if (!size) return ReadOutcome::ReadError;
  if (*size != reference.size) return ReadOutcome::Ok;
  payload::Hash128 hash;
  auto outcome = HashFile(path, *size, progress, hash);
  matches = outcome == ReadOutcome::Ok && hash == reference.hash;
  return outcome;
}

ReadOutcome CheckOwnFile(const Installation& installation, const PlannedFile& file, const ByteProgress& progress,
                         Finding& finding) {
  const auto& entry = *file.entry;
  using payload::Operation;
  if (file.kind == platform::PathKind::Missing) {
    finding = entry.operation == Operation::Add ? Finding::NeedsPatch : Finding::Mismatch;
    return ReadOutcome::Ok;
  }
  finding = Finding::Mismatch;
  if (file.kind != platform::PathKind::File) return ReadOutcome::Ok;

  std::string path = installation.Full(file.target);
  auto opened = platform::File::Open(path, platform::File::Mode::Read);
  if (!opened) return ReadOutcome::ReadError;
  auto size = opened->Size();
  opened.reset();
  if (!size) return ReadOutcome::ReadError;
  bool mayBeOld = entry.operation != Operation::Add && *size == entry.oldSize;
  bool mayBeNew = entry.operation != Operation::Delete && *size == entry.newSize;
  if (!mayBeOld && !mayBeNew) return ReadOutcome::Ok;

  payload::Hash128 hash;
  auto outcome = HashFile(path, *size, progress, hash);
  if (outcome != ReadOutcome::Ok) return outcome;
  if (mayBeNew && hash == entry.newHash) finding = Finding::AlreadyNew;
  else if (mayBeOld && hash == entry.oldHash) finding = Finding::NeedsPatch;
  return ReadOutcome::Ok;
}

}  // namespace

ReadOutcome CheckInstalledFile(const Installation& installation, const PlannedFile& file,
                               const ByteProgress& progress, Finding& finding) {
  auto outcome = CheckOwnFile(installation, file, progress, finding);
  if (outcome != ReadOutcome::Ok || finding != Finding::NeedsPatch || !file.entry->HasReference()) return outcome;
  const auto& references = file.entry->references;
  for (size_t i = 0; i < references.size(); ++i) {
    bool matches = false;
    outcome = CheckReference(installation, file.references[i], references[i], progress, matches);
    if (outcome != ReadOutcome::Ok) return outcome;
    if (!matches) {
      finding = Finding::ReferenceMismatch;
      break;
    }
  }
  return ReadOutcome::Ok;
}

std::string LeftAloneNotice(const PlannedFile& file, Finding finding) {
  std::string name = ShownName(file.entry->path);
  if (finding == Finding::ReferenceMismatch) {
    std::vector<std::string> references;
    for (const auto& reference : file.entry->references) references.push_back(ShownName(reference.path));
    return messages::ReferenceNotExpected(name, references);
  }
  return file.kind == platform::PathKind::Missing ? messages::MissingFile(name) : messages::NotExpectedVersion(name);
}

ReadOutcome HashDataBlock(const platform::File& patch, const payload::PayloadIndex& index,
                          const payload::FileEntry& entry, const ByteProgress& progress, uint64_t& hash) {
  payload::StreamingHash64 hasher;
  Piece piece(entry.dataLength);
  for (uint64_t done = 0; done < entry.dataLength;) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(piece.size, entry.dataLength - done));
    if (!patch.ReadAt(index.dataOffset + entry.dataOffset + done, std::span(piece.data.get(), want)))
      return ReadOutcome::ReadError;
    hasher.Update(std::span(piece.data.get(), want));
    done += want;
    if (progress && !progress(done, entry.dataLength)) return ReadOutcome::Stopped;
  }
  hash = hasher.Digest();
  return ReadOutcome::Ok;
}

bool ProgressMeter::Report(uint64_t done, uint64_t total) {
  int64_t value = (total == 0 || done >= total)
                      ? 32768
                      : static_cast<int64_t>(static_cast<double>(done) / static_cast<double>(total) * 32768.0);
  // About 256 steps per file are plenty for a bar and keep the host's message loop busy enough.
  if (value != 32768 && last_ >= 0 && value < last_ + 128) return true;
  if (value == last_) return true;
  last_ = value;
  return host_.SendNumber(PW_MSG_PROGRESS, static_cast<uint32_t>(value));
}

}  // namespace engine
