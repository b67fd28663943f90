// The engine's command line: /z "<updater>" "<folder>" -i and one pass switch (-l, -j, -u, -r).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engine {

enum class Pass { List, Verify, Update, Recover };

struct EngineCommand {
  std::string updaterPath;   // the file whose appended payload is read
  std::string folder;        // the current folder (listing) or the installation folder
  Pass pass = Pass::List;
  std::string backupFolder;  // -b:, update pass only; empty when none
};

// Exactly the command lines the updater sends; anything else is refused with a reason.
std::optional<EngineCommand> ParseCommandLine(std::string_view text, std::string& error);

}  // namespace engine
