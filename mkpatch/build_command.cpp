// The finished updater is the stub's bytes, then the payload's index, data and trailer.
#include "mkpatch/build_command.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "mkpatch/commands.h"
#include "mkpatch/options.h"
#include "mkpatch/output_file.h"
#include "mkpatch/patch_builder.h"
#include "mkpatch/records_file.h"
#include "mkpatch/self_check.h"
#include "patchw32/format/payload_reader.h"
#include "patchw32/format/payload_writer.h"
#include "platform/files.h"

namespace mkpatch {

namespace {

// The encoded blocks wait here until the index, which comes first, is known.
class SpoolFile {
 public:
  explicit SpoolFile(const std::string& out) : path_(out + ".spool-" + std::to_string(platform::ProcessId())) {}
  ~SpoolFile() { platform::RemoveFile(path_); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

void CopyBlocks(const std::string& spool, const BuiltPayload& built, OutputFile& output) {
  auto in = platform::File::Open(spool, platform::File::Mode::Read);
  if (!in) throw std::runtime_error("cannot read " + spool);
  std::vector<std::byte> buffer(1 << 20);
  for (size_t i = 0; i < built.entries.size(); ++i) {
    uint64_t at = built.spoolOffsets[i];
    uint64_t end = at + built.entries[i].dataLength;
    while (at < end) {
      auto piece = std::span(buffer).first(static_cast<size_t>(std::min<uint64_t>(buffer.size(), end - at)));
      if (!in->ReadAt(at, piece)) throw std::runtime_error("cannot read " + spool);
      output.Write(piece);
      at += piece.size();
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

// The stub must be a readable file (a link to one will do) and unsigned: a signature covers the
// file as it was signed, a payload appended after it breaks it, and the updater refuses such a
// file. The publisher signs the finished updater instead.
void CheckStub(const std::string& stub) {
  auto file = platform::File::Open(stub, platform::File::Mode::Read);
  auto size = file ? file->Size() : std::nullopt;
  if (!size) throw std::runtime_error("no updater stub at " + stub);
  auto readAt = [&](uint64_t offset, std::span<std::byte> buffer) { return file->ReadAt(offset, buffer); };
  if (payload::FindCertificateTable(*size, readAt))
    throw std::runtime_error("the stub " + stub + " is signed: build with the unsigned updater and sign the "
                             "finished one");
}

// Redraws one line on a terminal: the previous one's end is blanked, not erased with an escape
// sequence that an older Windows console would print.
class ProgressLine {
 public:
  void Show(size_t done, size_t total, const std::string& path) {
    std::string text = "[" + std::to_string(done) + "/" + std::to_string(total) + "] " + path;
    size_t shown = text.size();
    if (text.size() < width_) text.append(width_ - text.size(), ' ');
    width_ = shown;
    std::fprintf(stderr, "\r%s", text.c_str());
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  size_t width_ = 0;
};

}  // namespace

int BuildCommand(const std::vector<std::string>& args, const std::string& selfPath) {
  Options options = ParseOptions(args, *FindCommand("build"));
  if (!options.plain.empty()) throw std::runtime_error("unexpected argument " + options.plain.front());
  if (options.Has("old") != options.Has("new")) throw std::runtime_error("--old and --new go together");
  auto records = ReadRecordsFile(options.Required("records"));
  std::string out = options.Required("out");
  std::string stub = options.Or("stub", DefaultStubPath(selfPath));
  CheckStub(stub);
  int level = options.Has("level") ? ParseLevel(options.named.at("level")) : 19;
  unsigned cores = std::max(1u, std::thread::hardware_concurrency());

  SpoolFile spool(out);
  BuiltPayload built;
  if (options.Has("old")) {
    BuildRequest request;
    request.oldTree = options.named.at("old");
    request.newTree = options.named.at("new");
    request.records = records;
    request.level = level;
    request.threads = cores;
    request.warn = [](const std::string& line) { std::fprintf(stderr, "orvan-mkpatch: warning: %s\n", line.c_str()); };
    ProgressLine progressLine;
    if (platform::StandardErrorIsTerminal())
      request.progress = [&progressLine](size_t done, size_t total, const std::string& path) {
        progressLine.Show(done, total, path);
      };
    built = BuildPayloadData(request, spool.Path());
  }

  OutputFile output(out);
  output.CopyFrom(stub);
  uint64_t payloadOffset = output.Size();
  auto index = payload::EncodeIndex(records, built.entries, built.dataLength);
  output.Write(index);
  if (!built.entries.empty()) CopyBlocks(spool.Path(), built, output);
  output.Write(payload::EncodeTrailer(payloadOffset, index, built.dataLength));
  output.Finish();

  std::string checked = "not checked (--no-verify)";
  if (!options.Has("no-verify")) {
    auto start = std::chrono::steady_clock::now();
    CheckWrittenPayload(output.PartialPath(), records, built, cores);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f",
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    checked = "every entry applied and checked in " + std::string(seconds) + " s";
  }
  output.Commit(true);

  size_t counts[4] = {};
  for (const auto& entry : built.entries) ++counts[static_cast<int>(entry.operation)];
  std::fprintf(stderr,
               "orvan-mkpatch: wrote %s (%zu records; %zu files: %zu modified, %zu added, %zu deleted; %llu bytes "
               "of data; %s)\n",
               out.c_str(), records.size(), built.entries.size(), counts[1], counts[2], counts[3],
               static_cast<unsigned long long>(built.dataLength), checked.c_str());
  return 0;
}

}  // namespace mkpatch
