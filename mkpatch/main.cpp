// orvan-mkpatch: the publisher's patch builder.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "build_command.h"
#include "payload_report.h"
#include "platform.h"
#include "xpd_command.h"

namespace {

constexpr const char* kUsage =
    "usage: orvan-mkpatch build --records FILE --out FILE [--stub FILE] [--old DIR --new DIR] [--level N]\n"
    "       orvan-mkpatch inspect FILE\n"
    "       orvan-mkpatch xpd --id N --version NUMBER [--check-count C] FILE\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  std::string command = args[0];
  args.erase(args.begin());
  try {
    if (command == "build") return mkpatch::BuildCommand(args, platform::OwnModulePath());
    if (command == "inspect") return mkpatch::InspectCommand(args);
    if (command == "xpd") return mkpatch::XpdCommand(args);
    std::fprintf(stderr, "orvan-mkpatch: unknown command %s\n%s", command.c_str(), kUsage);
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "orvan-mkpatch: %s\n", error.what());
    return 1;
  }
}
