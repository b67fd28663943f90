// The update journal against hostile bytes: a journal left in an installation folder is read
// before anything else, so whatever it holds must be refused or stay inside the folder.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "entry_path.h"
#include "hash.h"
#include "journal.h"

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
  for (const auto& path : journal.discards) inside(path);
  for (const auto& rename : journal.renames) {
    inside(rename.from);
    inside(rename.to);
  }
  // What was read encodes back to the same bytes.
  auto again = engine::EncodeJournal(journal);
  if (again != bytes) __builtin_trap();
  return 0;
}
