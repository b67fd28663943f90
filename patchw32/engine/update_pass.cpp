// Per announced file: id 7; then id 2 (not the expected version, left alone), id 9 "New Version"
// (already there), or id 9 "Applying" and id 5 while its new contents are decoded into a staged
// file and checked; id 8. After the last file the commit swaps everything in.
#include "patchw32/engine/update_pass.h"

#include <algorithm>

#include "patchw32/codec/codec.h"
#include "patchw32/engine/installed_file.h"
#include "patchw32/engine/messages.h"
#include "patchw32/engine/recovery_pass.h"
#include "patchw32/engine/transaction.h"
#include "patchw32/format/entry_path.h"
#include "patchw32/format/hash.h"
#include "patchw32/format/names.h"

namespace engine {
namespace {

enum class Staged { Ok, CorruptData, ReadError, WriteError, Stopped };

// The new contents go straight to the staged file, hashed on the way: the decoder hands them on in
// chunks large enough to write as they come, so no second buffer is held (codec_limits.h), and
// nothing written is read back.
class StagedWriter {
 public:
  StagedWriter(platform::File& file, uint64_t expectedSize) : file_(file), expected_(expectedSize) {}
  bool Write(std::span<const std::byte> bytes) {
    if (bytes.size() > expected_ - written_) {
      overflow_ = true;
      return false;
    }
    hash_.Update(bytes);
    if (!file_.WriteAt(written_, bytes)) return false;
    written_ += bytes.size();
    // The disk writes while the decoder works on, rather than all of it at the final flush.
    if (written_ - writebackFrom_ >= kWritebackBytes) {
      file_.StartWriteback(writebackFrom_, written_ - writebackFrom_);
      writebackFrom_ = written_;
    }
    return true;
  }
  bool Finish() { return file_.Flush(); }
  bool Overflowed() const { return overflow_; }
  uint64_t Written() const { return written_; }
  payload::Hash128 Digest() const { return hash_.Digest(); }

 private:
  static constexpr uint64_t kWritebackBytes = uint64_t{8} << 20;
  platform::File& file_;
  uint64_t expected_;
  uint64_t written_ = 0;
  uint64_t writebackFrom_ = 0;
  bool overflow_ = false;
  payload::StreamingHash128 hash_;
};

// Hashes the data block while the decoder reads it front to back; a decoder that jumps about
// leaves the block to be hashed again afterwards.
class BlockReader {
 public:
  BlockReader(const platform::File& patch, uint64_t start, uint64_t length)
      : patch_(patch), start_(start), length_(length) {}
  bool Read(uint64_t offset, std::span<std::byte> buffer) {
    if (offset > length_ || buffer.size() > length_ - offset) return false;
    if (!patch_.ReadAt(start_ + offset, buffer)) return false;
    if (offset == next_) {
      hash_.Update(buffer);
      next_ += buffer.size();
    } else if (offset + buffer.size() > next_) {
      inOrder_ = false;
    }
    return true;
  }
  // Whether every byte was hashed in order; then `hash` is the block's.
  bool HashedWhole(uint64_t& hash) const {
    if (!inOrder_ || next_ != length_) return false;
    hash = hash_.Digest();
    return true;
  }

 private:
  const platform::File& patch_;
  uint64_t start_;
  uint64_t length_;
  uint64_t next_ = 0;
  bool inOrder_ = true;
  payload::StreamingHash64 hash_;
};

// Old files read as one, one after another: an entry's references.
class JoinedFiles {
 public:
  bool Add(const std::string& path, uint64_t size) {
    auto file = platform::File::Open(path, platform::File::Mode::Read);
    if (!file) return false;
    parts_.push_back({std::move(file), size_, size});
    size_ += size;
    return true;
  }
  uint64_t Size() const { return size_; }
  bool ReadAt(uint64_t offset, std::span<std::byte> buffer) const {
    for (const auto& part : parts_) {
      if (buffer.empty()) break;
      uint64_t end = part.start + part.size;
      if (offset >= end) continue;
      size_t take = static_cast<size_t>(std::min<uint64_t>(buffer.size(), end - offset));
      if (!part.file->ReadAt(offset - part.start, buffer.first(take))) return false;
      buffer = buffer.subspan(take);
      offset += take;
    }
    return buffer.empty();
  }

 private:
  struct Part {
    std::unique_ptr<platform::File> file;
    uint64_t start, size;  // where it begins among the joined bytes, and its size as checked
  };
  std::vector<Part> parts_;
  uint64_t size_ = 0;
};

Staged StageNewContents(const platform::File& patch, const payload::PayloadIndex& index, const PlannedFile& file,
                        const Installation& installation, const std::string& staged, ProgressMeter& meter) {
  const auto& entry = *file.entry;
  // The data block is decoded against the entry's references when it has them, else against the
  // old file at its own path. Nothing is changed before every file is staged, so each is as it was
  // checked, even one this update replaces or deletes.
  JoinedFiles old;
  if (entry.HasReference()) {
    for (size_t i = 0; i < entry.references.size(); ++i)
      if (!old.Add(installation.Full(file.references[i]), entry.references[i].size)) return Staged::ReadError;
  } else if (entry.operation == payload::Operation::Modify) {
    if (!old.Add(installation.Full(file.target), entry.oldSize)) return Staged::ReadError;
  }
  uint64_t oldSize = entry.DecodedOldSize();
  auto out = platform::File::Open(installation.Full(staged), platform::File::Mode::CreateTruncate);
  if (!out) return Staged::WriteError;
  // An executable on posix stays executable.
  if (file.kind == platform::PathKind::File)
    platform::CopyFileMode(installation.Full(file.target), installation.Full(staged));

  BlockReader block(patch, index.dataOffset + entry.dataOffset, entry.dataLength);
  StagedWriter writer(*out, entry.newSize);
  auto readOld = [&](uint64_t offset, std::span<std::byte> buffer) {
    if (offset > old.Size() || buffer.size() > old.Size() - offset) return false;
    return old.ReadAt(offset, buffer);
  };
  auto result = codec::DecodeFile(
      entry.codec, [&](uint64_t offset, std::span<std::byte> buffer) { return block.Read(offset, buffer); },
      entry.dataLength, readOld, oldSize, entry.newSize,
      [&](std::span<const std::byte> bytes) { return writer.Write(bytes); },
      [&](uint64_t done, uint64_t total) { return meter.Report(done, total); });
  switch (result) {
    case codec::DecodeResult::Ok: break;
    case codec::DecodeResult::CorruptData: return Staged::CorruptData;
    case codec::DecodeResult::ReadError: return Staged::ReadError;
    case codec::DecodeResult::Stopped: return Staged::Stopped;
    case codec::DecodeResult::WriteError: return writer.Overflowed() ? Staged::CorruptData : Staged::WriteError;
  }
  if (!writer.Finish()) return Staged::WriteError;

  uint64_t blockHash = 0;
  if (!block.HashedWhole(blockHash) && HashDataBlock(patch, index, entry, nullptr, blockHash) != ReadOutcome::Ok)
    return Staged::ReadError;
  if (blockHash != entry.dataHash || writer.Written() != entry.newSize || writer.Digest() != entry.newHash)
    return Staged::CorruptData;
  return Staged::Ok;
}

// "-b:Update_1.1.0_Backup" names a folder inside the installation; nothing else is accepted.
bool BackupFolderOf(const std::string& argument, std::string& folder) {
  folder = argument;
  std::replace(folder.begin(), folder.end(), '\\', '/');
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  return payload::IsSafeEntryPath(folder);
}

}  // namespace

int32_t RunUpdatePass(const payload::PayloadIndex& index, const platform::File& patch, Installation& installation,
                      const std::string& backupArgument, HostChannel& host) {
  std::string named;  // the backup folder as the argument names it
  if (!backupArgument.empty()) {
    if (!BackupFolderOf(backupArgument, named)) {
      host.SendText(PW_MSG_ERROR, "The backup folder " + backupArgument +
                                      " is not a folder inside the installation." + messages::Unchanged());
      return PW_BAD_COMMAND_LINE;
    }
    std::string prefix = payload::FoldName(named) + "/";
    for (const auto& entry : index.entries) {
      if (payload::FoldName(entry.path).starts_with(prefix) || payload::SameName(entry.path, named)) {
        host.SendText(PW_MSG_ERROR, "The patch changes files in the backup folder " + ShownName(named) +
                                        "; choose no backup to apply it." + messages::Unchanged());
        return PW_BAD_COMMAND_LINE;
      }
    }
  }

  // One updater at a time, and never over a run that was interrupted: that is finished or undone
  // first, or, when its journal is not ours to act on, nothing is done.
  std::unique_ptr<platform::InstallationLock> lock;
  if (auto refused = LockInstallation(installation, true, host, lock)) return *refused;
  if (auto failed = RecoverBeforePass(index, installation, false, host)) return *failed;

  std::string backupFolder;
  if (!named.empty()) {
    backupFolder = installation.Resolve(named);
    auto kind = platform::KindOf(installation.Full(backupFolder));
    if (kind != platform::PathKind::Missing && kind != platform::PathKind::Folder) {
      host.SendText(PW_MSG_ERROR, "The backup folder " + ShownName(backupFolder) + " is not a folder." +
                                      messages::Unchanged());
      return PW_IO_ERROR;
    }
  }

  auto planned = PlanAnnouncedFiles(index, installation);
  DetectionFiles detection(index.records);
  Transaction transaction(installation, backupFolder);
  {
    std::vector<std::string> staged;
    std::vector<std::string> folders;
    for (const auto& file : planned) {
      if (file.entry->operation == payload::Operation::Delete) continue;
      staged.push_back(StagedName(file.target));
      for (auto& folder : installation.MissingFolders(file.target)) folders.push_back(std::move(folder));
    }
    transaction.PlanStaging(std::move(staged), std::move(folders));
  }

  // Every way out before the commit leaves the installation as it was; the host hears when even
  // that failed, so that it knows the next start will finish the undoing.
  auto abandon = [&](int32_t result, const std::string& message) {
    std::string error;
    bool undone = transaction.RollBack(error);
    if (!message.empty()) host.SendText(PW_MSG_ERROR, message + (undone ? messages::Unchanged() : ""));
    if (!undone)
      host.SendText(PW_MSG_ERROR, "The update could not be undone: " + error +
                                      ". The next start of the update will finish undoing it.");
    return result;
  };

  if (!host.SendNumber(PW_MSG_FILE_COUNT, static_cast<uint32_t>(planned.size()))) return abandon(PW_STOPPED, "");
  for (const auto& file : planned) {
    const auto& entry = *file.entry;
    std::string name = ShownName(entry.path);
    if (!host.SendText(PW_MSG_FILE_BEGIN, name)) return abandon(PW_STOPPED, "");

    Finding finding;
    if (CheckInstalledFile(installation, file, nullptr, finding) != ReadOutcome::Ok)
      return abandon(PW_IO_ERROR, messages::CannotRead(name));
    if (finding == Finding::Mismatch || finding == Finding::ReferenceMismatch) {
      if (!host.SendText(PW_MSG_NOTICE, LeftAloneNotice(file, finding)) || !host.Send(PW_MSG_FILE_END))
        return abandon(PW_STOPPED, "");
      continue;
    }
    if (finding == Finding::AlreadyNew) {
      if (!host.SendText(PW_MSG_STATUS, messages::AlreadyNew(name)) || !host.Send(PW_MSG_FILE_END))
        return abandon(PW_STOPPED, "");
      continue;
    }

    bool exists = file.kind == platform::PathKind::File;
    if (exists && !platform::CanReplaceFile(installation.Full(file.target)))
      return abandon(PW_IO_ERROR, name + " is read-only or in use by another program, so it can't be replaced.");
    bool removal = entry.operation == payload::Operation::Delete;
    if (!host.SendText(PW_MSG_STATUS, messages::Applying(name, removal))) return abandon(PW_STOPPED, "");
    int rank = detection.CommitRank(entry.path);
    if (removal) {
      transaction.Add(StepKind::Remove, file.target, rank);
    } else {
      std::string staged;
      std::string error;
      if (!transaction.PrepareStaging(file.target, staged, error)) return abandon(PW_IO_ERROR, "The update " + error + ".");
      ProgressMeter meter(host);
      switch (StageNewContents(patch, index, file, installation, staged, meter)) {
        case Staged::Ok: break;
        case Staged::Stopped: return abandon(PW_STOPPED, "");
        case Staged::CorruptData:
          host.Send(PW_MSG_CORRUPT_DATA);
          return abandon(PW_BAD_PAYLOAD, "");
        case Staged::ReadError: return abandon(PW_IO_ERROR, "The patch or " + name + " could not be read.");
        case Staged::WriteError:
          return abandon(PW_IO_ERROR, "The new " + name + " could not be written; the disk may be full.");
      }
      transaction.Add(exists ? StepKind::Replace : StepKind::Add, file.target, rank);
      if (!meter.Complete()) return abandon(PW_STOPPED, "");
    }
    if (!host.Send(PW_MSG_FILE_END)) return abandon(PW_STOPPED, "");
  }

  std::string error;
  if (!transaction.Commit(error)) {
    bool undone = platform::KindOf(installation.Full(kJournalName)) == platform::PathKind::Missing;
    host.SendText(PW_MSG_ERROR, "The update could not be completed: " + error + "." +
                                    (undone ? messages::Unchanged()
                                            : " The next start of the update will finish undoing it."));
    return PW_IO_ERROR;
  }
  return PW_OK;
}

}  // namespace engine
