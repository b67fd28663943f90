// The finished updater is the stub's bytes, then the payload's index, data and trailer.
#include "build_command.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "options.h"
#include "output_file.h"
#include "patch_builder.h"
#include "payload_writer.h"
#include "platform.h"
#include "records_file.h"

namespace mkpatch {

namespace fs = std::filesystem;

namespace {

// The encoded blocks wait here until the index, which comes first, is known.
class SpoolFile {
 public:
  explicit SpoolFile(const fs::path& out) : path_(out.string() + ".spool-" + std::to_string(getpid())) {}
  ~SpoolFile() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

void CopyBlocks(const fs::path& spool, const BuiltPayload& built, OutputFile& output) {
  std::ifstream in(spool, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + spool.string());
  std::vector<char> buffer(1 << 20);
  for (size_t i = 0; i < built.entries.size(); ++i) {
    uint64_t left = built.entries[i].dataLength;
    in.seekg(static_cast<std::streamoff>(built.spoolOffsets[i]));
    while (left > 0) {
      auto take = static_cast<std::streamsize>(std::min<uint64_t>(left, buffer.size()));
      in.read(buffer.data(), take);
      if (in.gcount() != take) throw std::runtime_error("cannot read " + spool.string());
      output.Write(std::as_bytes(std::span(buffer.data(), static_cast<size_t>(take))));
      left -= static_cast<uint64_t>(take);
    }
  }
}

int ParseLevel(const std::string& text) {
  size_t used = 0;
  int level = 0;
  try {
    level = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || level < 1 || level > 22) throw std::runtime_error("--level takes a number from 1 to 22");
  return level;
}

}  // namespace

int BuildCommand(const std::vector<std::string>& args, const std::string& selfPath) {
  Options options = ParseOptions(args, {"old", "new", "records", "out", "stub", "level"});
  if (!options.plain.empty()) throw std::runtime_error("unexpected argument " + options.plain.front());
  if (options.Has("old") != options.Has("new")) throw std::runtime_error("--old and --new go together");
  auto records = ReadRecordsFile(options.Required("records"));
  fs::path out = options.Required("out");
  fs::path stub = options.Or("stub", (fs::path(selfPath).parent_path() / "orvan-update").string());
  if (!fs::is_regular_file(stub)) throw std::runtime_error("no updater stub at " + stub.string());
  int level = options.Has("level") ? ParseLevel(options.named.at("level")) : 19;

  SpoolFile spool(out);
  BuiltPayload built;
  if (options.Has("old")) {
    BuildRequest request;
    request.oldTree = options.named.at("old");
    request.newTree = options.named.at("new");
    request.records = records;
    request.level = level;
    request.warn = [](const std::string& line) { std::fprintf(stderr, "orvan-mkpatch: warning: %s\n", line.c_str()); };
    if (platform::StandardErrorIsTerminal()) {
      request.progress = [](size_t done, size_t total, const std::string& path) {
        std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done, total, path.c_str());
        if (done == total) std::fputc('\n', stderr);
        std::fflush(stderr);
      };
    }
    built = BuildPayloadData(request, spool.Path());
  }

  OutputFile output(out);
  output.CopyFrom(stub);
  uint64_t payloadOffset = output.Size();
  auto index = payload::EncodeIndex(records, built.entries, built.dataLength);
  output.Write(index);
  if (!built.entries.empty()) CopyBlocks(spool.Path(), built, output);
  output.Write(payload::EncodeTrailer(payloadOffset, index, built.dataLength));
  output.Commit(true);

  size_t counts[4] = {};
  for (const auto& entry : built.entries) ++counts[static_cast<int>(entry.operation)];
  std::fprintf(stderr,
               "orvan-mkpatch: wrote %s (%zu records; %zu files: %zu modified, %zu added, %zu deleted; %llu bytes "
               "of data)\n",
               out.string().c_str(), records.size(), built.entries.size(), counts[1], counts[2], counts[3],
               static_cast<unsigned long long>(built.dataLength));
  return 0;
}

}  // namespace mkpatch
