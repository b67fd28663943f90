// The builder's commands and their options: one table that the parser and the help both read, so
// that what --help lists is what the command takes.
#pragma once

#include <string>
#include <vector>

namespace mkpatch {

struct OptionSpec {
  std::string name;   // without the leading "--"
  std::string value;  // what the value is ("DIR", "FILE", "N"); empty for a switch that takes none
  std::string help;   // one line
  bool required = false;
};

struct CommandSpec {
  std::string name;
  std::string operands;  // what follows the options ("FILE"), or empty
  std::string summary;   // one line
  std::vector<OptionSpec> options;
};

// build, inspect and xpd, in that order.
const std::vector<CommandSpec>& Commands();
// Null for an unknown command.
const CommandSpec* FindCommand(const std::string& name);

// "usage: orvan-mkpatch build ...", the summary, then one line per option.
std::string CommandHelp(const CommandSpec& command);
// Every command's help, and the program's own options.
std::string ProgramHelp();
// One line: the builder's version and what decides its payload bytes.
std::string VersionLine();

// The stub `build` attaches the payload to when --stub is not given: the updater beside the builder.
std::string DefaultStubPath(const std::string& builderPath);

}  // namespace mkpatch
