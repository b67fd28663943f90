// The update journal against hostile bytes: a journal left in an installation folder is read
// before anything else, so whatever it holds must be refused or stay inside the folder, and a
// journal accepted for acting on may name nothing but the payload's files and the engine's own.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "patchw32/engine/installation.h"
#include "patchw32/engine/journal.h"
#include "patchw32/format/entry_path.h"
#include "patchw32/format/hash.h"
#include "patchw32/format/names.h"
#include "platform/files.h"

namespace {

payload::PayloadIndex Payload() {
  payload::PayloadIndex index;
  auto add = [&index](const char* path, payload::Operation operation) {
    payload::FileEntry entry;
    entry.path = path;
    entry.operation = operation;
    index.entries.push_back(entry);
  };
  add("orvan.exe", payload::Operation::Modify);
  add("data/check.dat", payload::Operation::Modify);
  add("gone.txt", payload::Operation::Delete);
  add("maps/isle/m1.map", payload::Operation::Add);
  return index;
}

bool IsEntry(const payload::PayloadIndex& index, const std::string& path) {
  for (const auto& entry : index.entries)
    if (payload::SameName(entry.path, path)) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input is the journal's body: its checksum is appended here, so that the fuzzer reaches
  // the parser behind it rather than only the checksum test.
  std::vector<std::byte> bytes(reinterpret_cast<const std::byte*>(data), reinterpret_cast<const std::byte*>(data) + size);
  uint64_t check = payload::Hash64(bytes);
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::byte>(check >> (8 * i)));
  engine::Journal journal;
  if (!engine::DecodeJournal(bytes, journal)) return 0;
  auto inside = [](const std::string& path) {
    if (!payload::IsSafeRelativePath(path, 4096)) __builtin_trap();
  };
  for (const auto& path : journal.folders) inside(path);
  for (const auto& path : journal.staged) inside(path);
  for (const auto& step : journal.steps) inside(step.target);
  if (!journal.backupFolder.empty() && !payload::IsSafeEntryPath(journal.backupFolder)) __builtin_trap();
  if (journal.folderIdentity.empty()) __builtin_trap();
  // What was read encodes back to the same bytes.
  auto again = engine::EncodeJournal(journal);
  if (again != bytes) __builtin_trap();

  // As if it had been written for this folder: what the paths name decides alone.
  static const engine::Installation installation(platform::TempFolder());
  static const payload::PayloadIndex index = Payload();
  static const std::string identity = platform::FolderIdentity(installation.Folder()).value_or("?");
  journal.folderIdentity = identity;
  std::string why;
  if (!engine::JournalBelongsHere(journal, installation, index, why)) {
    if (why.empty()) __builtin_trap();
    return 0;
  }
  for (const auto& step : journal.steps)
    if (!IsEntry(index, step.target)) __builtin_trap();
  for (const auto& staged : journal.staged)
    if (!staged.ends_with(".new.orvan~") && !payload::EndsWithName(staged, ".new.orvan~")) __builtin_trap();
  return 0;
}
