// orvan-mkpatch: the publisher's patch builder.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "mkpatch/build_command.h"
#include "mkpatch/commands.h"
#include "mkpatch/listing_command.h"
#include "mkpatch/xpd_command.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs("usage: orvan-mkpatch COMMAND [OPTIONS] (orvan-mkpatch --help lists the commands)\n", stderr);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    std::fputs(mkpatch::ProgramHelp().c_str(), stdout);
    return 0;
  }
  if (args[0] == "--version") {
    std::printf("%s\n", mkpatch::VersionLine().c_str());
    return 0;
  }
  const mkpatch::CommandSpec* command = mkpatch::FindCommand(args[0]);
  if (!command) {
    std::fprintf(stderr, "orvan-mkpatch: unknown command %s (orvan-mkpatch --help lists the commands)\n",
                 args[0].c_str());
    return 2;
  }
  args.erase(args.begin());
  if (std::find(args.begin(), args.end(), "--help") != args.end()) {
    std::fputs(mkpatch::CommandHelp(*command).c_str(), stdout);
    return 0;
  }
  try {
    if (command->name == "build") return mkpatch::BuildCommand(args, platform::OwnModulePath());
    if (command->name == "inspect") return mkpatch::InspectCommand(args);
    return mkpatch::XpdCommand(args);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "orvan-mkpatch: %s\n", error.what());
    return 1;
  }
}
