// An existing file keeps everything but the header's own fields, so a data pack is marked in place.
#include "mkpatch/xpd_command.h"

#include <array>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "mkpatch/commands.h"
#include "mkpatch/options.h"
#include "mkpatch/output_file.h"
#include "patchw32/format/expansion_header.h"
#include "platform/files.h"

namespace mkpatch {

namespace {

int64_t ParseNumber(const std::string& option, const std::string& text, int64_t low, int64_t high) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  int64_t value = 0;
  bool digits = false;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, digits = true) {
    value = value * 10 + (text[pos] - '0');
    if (value > (int64_t{1} << 33)) break;
  }
  if (negative) value = -value;
  if (!digits || pos != text.size() || value < low || value > high)
    throw std::runtime_error("--" + option + " " + text + ": must be a whole number from " + std::to_string(low) + " to " +
                             std::to_string(high));
  return value;
}

}  // namespace

int XpdCommand(const std::vector<std::string>& args) {
  Options options = ParseOptions(args, *FindCommand("xpd"));
  if (options.plain.size() != 1) throw std::runtime_error("xpd needs one FILE");
  const std::string& path = options.plain.front();
  auto id = static_cast<uint32_t>(ParseNumber("id", options.Required("id"), 1, ReservedId - 1));
  auto version = static_cast<int32_t>(ParseNumber("version", options.Required("version"),
                                                  std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
  auto checkCount = static_cast<uint32_t>(ParseNumber("check-count", options.Or("check-count", "31"), 0, 31));

  std::array<std::byte, kExpansionHeaderSize> header{};
  if (platform::KindOf(path) == platform::PathKind::Missing) {
    EncodeExpansionHeader(header, id, version, checkCount);
    OutputFile output(path);
    output.Write(header);
    output.Commit(false);
  } else {
    auto file = platform::File::Open(path, platform::File::Mode::ReadWrite);
    if (!file) throw std::runtime_error("cannot write " + path);
    uint64_t size = file->Size().value_or(0);
    size_t held = static_cast<size_t>(std::min<uint64_t>(size, header.size()));
    if (held && !file->ReadAt(0, std::span(header).first(held))) throw std::runtime_error("cannot read " + path);
    EncodeExpansionHeader(header, id, version, checkCount);
    if (!file->WriteAt(0, header) || !file->Flush()) throw std::runtime_error("cannot write " + path);
  }
  std::string versionText;
  FormatVersionNumber(version, versionText);
  std::fprintf(stderr, "orvan-mkpatch: wrote the expansion header of %s (identifier %u, version %s)\n", path.c_str(),
               static_cast<unsigned>(id), versionText.c_str());
  return 0;
}

}  // namespace mkpatch
