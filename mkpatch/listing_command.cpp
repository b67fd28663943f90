// Reads the payload exactly as the engine does, so what it prints is what the engine will see.
#include "mkpatch/listing_command.h"

#include <cinttypes>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <vector>

#include "mkpatch/commands.h"
#include "mkpatch/json_text.h"
#include "mkpatch/options.h"
#include "patchw32/codec/codec.h"
#include "patchw32/format/payload_reader.h"
#include "platform/files.h"

namespace mkpatch {
namespace {

const char* OperationName(payload::Operation operation) {
  switch (operation) {
    case payload::Operation::Modify: return "modify";
    case payload::Operation::Add: return "add";
    case payload::Operation::Delete: return "delete";
  }
  return "?";
}

// The entropy stage of each entry's data block (its first byte says which); nothing for a delete.
std::vector<const char*> Stages(const platform::File& file, const payload::PayloadIndex& index) {
  std::vector<const char*> stages;
  for (const auto& entry : index.entries) {
    std::byte first{};
    bool read = entry.dataLength > 0 && file.ReadAt(index.dataOffset + entry.dataOffset, std::span(&first, 1));
    stages.push_back(read ? codec::StageName(first) : nullptr);
  }
  return stages;
}

void PrintText(const payload::PayloadIndex& index, const std::vector<const char*>& stages) {
  std::printf("records: %zu\n", index.records.size());
  for (const auto& record : index.records) std::printf("  %s\n", record.c_str());
  std::printf("files: %zu (data %" PRIu64 " bytes)\n", index.entries.size(), index.dataLength);
  for (size_t i = 0; i < index.entries.size(); ++i) {
    const auto& entry = index.entries[i];
    std::printf("  %-6s %-10s %-4s %12" PRIu64 " -> %12" PRIu64 "  %10" PRIu64 "  %s%s\n",
                OperationName(entry.operation), payload::CodecName(entry.codec), stages[i] ? stages[i] : "-",
                entry.oldSize, entry.newSize, entry.dataLength, entry.path.c_str(),
                entry.Optional() ? " (optional)" : "");
    for (const auto& reference : entry.references) std::printf("         made from %s\n", reference.path.c_str());
  }
}

// An added file has no old hash, a deleted one no new hash and no data: null, not zeros.
std::string HashOrNull(bool present, const payload::Hash128& hash) {
  return present ? "\"" + HexDigits(hash.high, hash.low) + "\"" : "null";
}

// The field names are part of the builder's interface (README.md): add fields, never rename them.
void PrintJson(const payload::PayloadIndex& index, const std::vector<const char*>& stages) {
  std::string out = "{\n  \"format_version\": " + std::to_string(index.formatVersion) + ",\n  \"records\": [";
  for (size_t i = 0; i < index.records.size(); ++i)
    out += std::string(i ? "," : "") + "\n    " + JsonString(index.records[i]);
  out += std::string(index.records.empty() ? "" : "\n  ") + "],\n";
  out += "  \"data_area_offset\": " + std::to_string(index.dataOffset) + ",\n";
  out += "  \"data_area_length\": " + std::to_string(index.dataLength) + ",\n  \"files\": [";
  for (size_t i = 0; i < index.entries.size(); ++i) {
    const auto& entry = index.entries[i];
    out += std::string(i ? "," : "") + "\n    {\"path\": " + JsonString(entry.path) + ", \"operation\": \"" +
           OperationName(entry.operation) + "\", \"optional\": " + (entry.Optional() ? "true" : "false") +
           ", \"codec\": \"" + payload::CodecName(entry.codec) + "\", \"stage\": " +
           (stages[i] ? "\"" + std::string(stages[i]) + "\"" : std::string("null")) +
           ", \"old_size\": " + std::to_string(entry.oldSize) +
           ", \"old_hash\": " + HashOrNull(entry.operation != payload::Operation::Add, entry.oldHash) +
           ", \"new_size\": " + std::to_string(entry.newSize) +
           ", \"new_hash\": " + HashOrNull(entry.operation != payload::Operation::Delete, entry.newHash) +
           ", \"data_offset\": " + std::to_string(entry.dataOffset) + ", \"data_length\": " +
           std::to_string(entry.dataLength) + ", \"data_hash\": " +
           (entry.operation == payload::Operation::Delete ? "null" : "\"" + HexDigits(entry.dataHash) + "\"");
    if (entry.HasReference()) {
      out += ", \"references\": [";
      for (size_t r = 0; r < entry.references.size(); ++r)
        out += std::string(r ? ", " : "") + "{\"path\": " + JsonString(entry.references[r].path) +
               ", \"size\": " + std::to_string(entry.references[r].size) +
               ", \"hash\": " + HashOrNull(true, entry.references[r].hash) + "}";
      out += "]";
    }
    out += "}";
  }
  out += std::string(index.entries.empty() ? "" : "\n  ") + "]\n}\n";
  std::fputs(out.c_str(), stdout);
}

}  // namespace

int InspectCommand(const std::vector<std::string>& args) {
  Options options = ParseOptions(args, *FindCommand("inspect"));
  if (options.plain.size() != 1) throw std::runtime_error("inspect takes one file");
  const std::string& path = options.plain.front();
  auto file = platform::File::Open(path, platform::File::Mode::Read);
  if (!file) throw std::runtime_error("cannot read " + path);
  payload::PayloadIndex index;
  std::string error;
  if (!payload::ReadPayloadIndex(*file, index, error)) throw std::runtime_error(path + ": " + error);
  auto stages = Stages(*file, index);
  if (options.Has("json"))
    PrintJson(index, stages);
  else
    PrintText(index, stages);
  if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write the listing");
  return 0;
}

}  // namespace mkpatch
