// The builder's command-line options: "--name value" pairs and plain arguments.
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace mkpatch {

struct Options {
  std::map<std::string, std::string> named;
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

// Every option takes a value; options not in `known` are refused.
inline Options ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& known) {
  Options options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.starts_with("--")) {
      options.plain.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    if (!known.count(name)) throw std::runtime_error("unknown option " + arg);
    if (i + 1 >= args.size()) throw std::runtime_error(arg + " needs a value");
    if (options.Has(name)) throw std::runtime_error(arg + " is given twice");
    options.named[name] = args[++i];
  }
  return options;
}

}  // namespace mkpatch
