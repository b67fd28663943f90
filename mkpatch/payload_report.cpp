// Reads the payload exactly as the engine does, so what it prints is what the engine will see.
#include "payload_report.h"

#include <cinttypes>
#include <cstdio>
#include <stdexcept>

#include "payload_reader.h"
#include "platform.h"

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

}  // namespace

int InspectCommand(const std::vector<std::string>& args) {
  if (args.size() != 1) throw std::runtime_error("inspect takes one file");
  auto file = platform::File::Open(args[0], platform::File::Mode::Read);
  if (!file) throw std::runtime_error("cannot read " + args[0]);
  payload::PayloadIndex index;
  std::string error;
  if (!payload::ReadPayloadIndex(*file, index, error)) throw std::runtime_error(args[0] + ": " + error);

  std::printf("records: %zu\n", index.records.size());
  for (const auto& record : index.records) std::printf("  %s\n", record.c_str());
  std::printf("files: %zu (data %" PRIu64 " bytes)\n", index.entries.size(), index.dataLength);
  for (const auto& entry : index.entries) {
    std::printf("  %-6s %-10s %12" PRIu64 " -> %12" PRIu64 "  %10" PRIu64 "  %s%s\n",
                OperationName(entry.operation), payload::CodecName(entry.codec), entry.oldSize, entry.newSize,
                entry.dataLength, entry.path.c_str(), entry.Optional() ? " (optional)" : "");
  }
  return 0;
}

}  // namespace mkpatch
