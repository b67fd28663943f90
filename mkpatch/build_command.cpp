// The finished updater is the stub's bytes, then the payload's index, data and trailer.
#include "build_command.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "options.h"
#include "output_file.h"
#include "payload_writer.h"
#include "records_file.h"

namespace mkpatch {

namespace fs = std::filesystem;

int BuildCommand(const std::vector<std::string>& args, const std::string& selfPath) {
  Options options = ParseOptions(args, {"old", "new", "records", "out", "stub", "level"});
  if (!options.plain.empty()) throw std::runtime_error("unexpected argument " + options.plain.front());
  if (options.Has("old") || options.Has("new"))
    throw std::runtime_error("--old and --new: this builder does not yet put files in a payload");
  auto records = ReadRecordsFile(options.Required("records"));
  fs::path out = options.Required("out");
  fs::path stub = options.Or("stub", (fs::path(selfPath).parent_path() / "orvan-update").string());
  if (!fs::is_regular_file(stub)) throw std::runtime_error("no updater stub at " + stub.string());

  OutputFile output(out);
  output.CopyFrom(stub);
  uint64_t payloadOffset = output.Size();
  auto index = payload::EncodeIndex(records, {}, 0);
  output.Write(index);
  output.Write(payload::EncodeTrailer(payloadOffset, index, 0));
  output.Commit(true);
  std::fprintf(stderr, "orvan-mkpatch: wrote %s (%zu records)\n", out.string().c_str(), records.size());
  return 0;
}

}  // namespace mkpatch
