// The builder's command-line options: "--name value" pairs, switches, and plain arguments.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "mkpatch/commands.h"

namespace mkpatch {

struct Options {
  std::map<std::string, std::string> named;  // a switch maps to ""
  std::vector<std::string> plain;

  bool Has(const std::string& name) const { return named.count(name) != 0; }
  const std::string& Required(const std::string& name) const {
    auto found = named.find(name);
    if (found == named.end()) throw std::runtime_error("missing --" + name);
    return found->second;
  }
  std::string Or(const std::string& name, const std::string& fallback) const {
    return Has(name) ? named.at(name) : fallback;
  }
};

// Only the command's own options are taken; each is given at most once, and one with a value
// takes the next argument whatever it is.
inline Options ParseOptions(const std::vector<std::string>& args, const CommandSpec& command) {
  Options options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.starts_with("--")) {
      options.plain.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    const OptionSpec* spec = nullptr;
    for (const auto& option : command.options)
      if (option.name == name) spec = &option;
    if (!spec) throw std::runtime_error("unknown option " + arg + " (orvan-mkpatch " + command.name + " --help lists them)");
    if (options.Has(name)) throw std::runtime_error(arg + " is given twice");
    if (spec->value.empty()) {
      options.named[name] = "";
      continue;
    }
    if (i + 1 >= args.size()) throw std::runtime_error(arg + " needs a value");
    options.named[name] = args[++i];
  }
  return options;
}

}  // namespace mkpatch
