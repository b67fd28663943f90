// Parsing the engine's four command lines, and nothing else.
#include "patchw32/engine/command_line.h"

#include <vector>

namespace engine {
namespace {

bool TakeQuoted(std::string_view& rest, std::string& out) {
  if (rest.empty() || rest.front() != '"') return false;
  size_t close = rest.find('"', 1);
  if (close == std::string_view::npos) return false;
  out = std::string(rest.substr(1, close - 1));
  rest.remove_prefix(close + 1);
  return true;
}

std::vector<std::string_view> SplitBlanks(std::string_view text) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    if (i > start) tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

}  // namespace

std::optional<EngineCommand> ParseCommandLine(std::string_view text, std::string& error) {
  EngineCommand command;
  std::string_view rest = text;
  if (!rest.starts_with("/z ")) {
    error = "the command line does not begin with /z";
    return std::nullopt;
  }
  rest.remove_prefix(3);
  if (!TakeQuoted(rest, command.updaterPath) || command.updaterPath.empty() || !rest.starts_with(' ')) {
    error = "the command line does not name the updater in double quotes";
    return std::nullopt;
  }
  rest.remove_prefix(1);
  if (!TakeQuoted(rest, command.folder) || command.folder.empty() || (!rest.empty() && rest.front() != ' ')) {
    error = "the command line does not name a folder in double quotes";
    return std::nullopt;
  }

  // The backup folder is everything after -b: (a version text may hold blanks).
  std::string_view switches = rest;
  size_t backup = rest.find(" -b:");
  if (backup != std::string_view::npos) {
    switches = rest.substr(0, backup);
    std::string_view folder = rest.substr(backup + 4);
    while (!folder.empty() && folder.back() == ' ') folder.remove_suffix(1);
    command.backupFolder = std::string(folder);
  }
  auto tokens = SplitBlanks(switches);
  if (tokens.size() != 2 || tokens[0] != "-i") {
    error = "the command line's options are not -i and one pass";
    return std::nullopt;
  }
  if (tokens[1] == "-l") command.pass = Pass::List;
  else if (tokens[1] == "-j") command.pass = Pass::Verify;
  else if (tokens[1] == "-u") command.pass = Pass::Update;
  else if (tokens[1] == "-r") command.pass = Pass::Recover;
  else {
    error = "unknown option " + std::string(tokens[1]);
    return std::nullopt;
  }
  if (backup != std::string_view::npos && (command.pass != Pass::Update || command.backupFolder.empty())) {
    error = "-b: goes with -u and names a folder";
    return std::nullopt;
  }
  return command;
}

}  // namespace engine
