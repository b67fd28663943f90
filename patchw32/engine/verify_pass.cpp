// Per announced file: id 7, id 5 while it is hashed, id 2 when it is not the expected version,
// id 8. Then the space the update needs against what the file system has free.
#include "patchw32/engine/verify_pass.h"

#include <cinttypes>
#include <cstdio>

#include "patchw32/engine/installed_file.h"
#include "patchw32/engine/messages.h"

namespace engine {
namespace {

constexpr uint64_t kCluster = 4096;

uint64_t WholeClusters(uint64_t bytes) { return (bytes + kCluster - 1) / kCluster * kCluster; }

}  // namespace

uint64_t RequiredBytes(const std::vector<const payload::FileEntry*>& patched, uint64_t announcedPathBytes) {
  uint64_t bytes = 0;
  uint64_t journal = 64;
  for (const auto* entry : patched) {
    if (entry->operation != payload::Operation::Delete) bytes += WholeClusters(entry->newSize);
    journal += 4 * (entry->path.size() + 32);
  }
  journal += announcedPathBytes;
  return bytes + 2 * WholeClusters(journal);
}

int32_t RunVerificationPass(const payload::PayloadIndex& index, const platform::File& patch,
                            Installation& installation, HostChannel& host) {
  auto planned = PlanAnnouncedFiles(index, installation);
  if (!host.SendNumber(PW_MSG_FILE_COUNT, static_cast<uint32_t>(planned.size()))) return PW_STOPPED;

  std::vector<const payload::FileEntry*> patched;
  uint64_t pathBytes = 0;
  for (const auto& file : planned) {
    const auto& entry = *file.entry;
    std::string name = ShownName(entry.path);
    if (!host.SendText(PW_MSG_FILE_BEGIN, name)) return PW_STOPPED;

    // The file's bytes and then its data block count as one stretch of progress.
    ProgressMeter meter(host);
    uint64_t fileBytes = 0;
    Finding finding;
    auto outcome = CheckInstalledFile(installation, file,
                                      [&](uint64_t done, uint64_t size) {
                                        fileBytes = size;
                                        return meter.Report(done, size + entry.dataLength);
                                      },
                                      finding);
    if (outcome == ReadOutcome::Stopped) return PW_STOPPED;
    if (outcome == ReadOutcome::ReadError) {
      host.SendText(PW_MSG_ERROR, messages::CannotRead(name));
      return PW_IO_ERROR;
    }
    // A damaged patch is found now, before the update pass would begin to use it.
    if (finding == Finding::NeedsPatch && entry.dataLength > 0) {
      uint64_t hash = 0;
      auto read = HashDataBlock(patch, index, entry,
                                [&](uint64_t done, uint64_t length) {
                                  return meter.Report(fileBytes + done, fileBytes + length);
                                },
                                hash);
      if (read == ReadOutcome::Stopped) return PW_STOPPED;
      if (read == ReadOutcome::ReadError) {
        host.SendText(PW_MSG_ERROR, messages::CannotReadPatch());
        return PW_IO_ERROR;
      }
      if (hash != entry.dataHash) {
        host.Send(PW_MSG_CORRUPT_DATA);
        return PW_BAD_PAYLOAD;
      }
    }
    if (!meter.Complete()) return PW_STOPPED;

    if (finding == Finding::Mismatch || finding == Finding::ReferenceMismatch) {
      if (!host.SendText(PW_MSG_NOTICE, LeftAloneNotice(file, finding))) return PW_STOPPED;
    }
    if (finding == Finding::NeedsPatch) patched.push_back(&entry);
    pathBytes += entry.path.size();
    if (!host.Send(PW_MSG_FILE_END)) return PW_STOPPED;
  }

  uint64_t required = RequiredBytes(patched, pathBytes);
  auto free = platform::FreeBytes(installation.Folder());
  if (!patched.empty() && free && *free < required) {
    if (!host.SendText(PW_MSG_ERROR, messages::InsufficientStorage(required, *free))) return PW_STOPPED;
  }
  return PW_OK;
}

}  // namespace engine
