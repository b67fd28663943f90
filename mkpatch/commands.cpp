// The command table. The stub's default name is the build's: the Windows builder makes Windows
// updaters, the Linux one Linux updaters.
#include "mkpatch/commands.h"

#include <lzma.h>
#include <zstd.h>

#include "patchw32/format/format.h"
#include "platform/files.h"

#ifndef ORVAN_VERSION
#error "ORVAN_VERSION is set by mkpatch/CMakeLists.txt"
#endif

namespace mkpatch {

namespace {

const std::string kStubName = ORVAN_UPDATER_STUB_NAME;

std::string OptionText(const OptionSpec& option) {
  return "--" + option.name + (option.value.empty() ? "" : " " + option.value);
}

}  // namespace

const std::vector<CommandSpec>& Commands() {
  static const std::vector<CommandSpec> commands = {
      {"build",
       "",
       "make an updater: the stub followed by the payload that turns the old release into the new one",
       {
           {"old", "DIR", "the release the players have (with --new; without both, a payload of records only)"},
           {"new", "DIR", "the release to update them to"},
           {"records", "FILE", "the description records, one per line, in payload order", true},
           {"out", "FILE", "the updater to write (written whole or not at all)", true},
           {"stub", "FILE", "the updater program to attach the payload to (default: the " + kStubName +
                                " beside this builder)"},
           {"level", "N", "zstd level of the data, 1 to 22 (default 19)"},
           {"no-verify", "", "skip applying every entry in memory before the updater is written"},
           {"help", "", "print this help"},
       }},
      {"inspect",
       "FILE",
       "print the records and the file table of a payload or a finished updater",
       {
           {"json", "", "print them as JSON, for release scripts (fields in README.md)"},
           {"help", "", "print this help"},
       }},
      {"xpd",
       "FILE",
       "write a valid expansion header at the start of FILE, creating it when missing",
       {
           {"id", "N", "the expansion's identifier, 1 to 4294967294", true},
           {"version", "NUMBER", "the expansion's version number, such as 1020000 for 1.2.0", true},
           {"check-count", "C", "the header's check count, 0 to 31 (default 31): C + 1 check bits are set"},
           {"help", "", "print this help"},
       }},
  };
  return commands;
}

const CommandSpec* FindCommand(const std::string& name) {
  for (const auto& command : Commands())
    if (command.name == name) return &command;
  return nullptr;
}

std::string CommandHelp(const CommandSpec& command) {
  std::string usage = "usage: orvan-mkpatch " + command.name;
  size_t width = 0;
  for (const auto& option : command.options) {
    if (option.name == "help") continue;
    usage += option.required ? " " + OptionText(option) : " [" + OptionText(option) + "]";
  }
  for (const auto& option : command.options) width = std::max(width, OptionText(option).size());
  if (!command.operands.empty()) usage += " " + command.operands;
  std::string text = usage + "\n" + command.summary + "\n";
  for (const auto& option : command.options) {
    std::string name = OptionText(option);
    text += "  " + name + std::string(width - name.size() + 2, ' ') + option.help + "\n";
  }
  return text;
}

std::string ProgramHelp() {
  std::string text =
      "orvan-mkpatch: the patch builder. orvan-mkpatch COMMAND --help prints one command's options.\n"
      "  --version  print the builder's version\n"
      "  --help     print this help\n";
  for (const auto& command : Commands()) text += "\n" + CommandHelp(command);
  return text;
}

std::string VersionLine() {
  return std::string("orvan-mkpatch ") + ORVAN_VERSION + " (payload format " + std::to_string(payload::kFormatVersion) +
         ", zstd " + ZSTD_versionString() + ", liblzma " + lzma_version_string() + ")";
}

std::string DefaultStubPath(const std::string& builderPath) {
  size_t end = builderPath.size();
  while (end > 0 && !platform::EndsFolderPart(builderPath[end - 1]) && builderPath[end - 1] != '/') --end;
  return builderPath.substr(0, end) + kStubName;
}

}  // namespace mkpatch
