// Posix backend of the registry: HKEY_LOCAL_MACHINE as a Wine prefix on this machine records it.
#include "platform/desktop.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/posix/system_reg.h"

namespace platform {

namespace {

std::string WinePrefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix && *prefix) return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.wine";
}

// A value such as C:\Games\Orvan names a folder of the prefix's drive C, whose dosdevices/c:
// link says where it lies here; other values are returned as they are.
std::string MapDriveLetter(const std::string& prefix, const std::string& value) {
  bool drive = value.size() >= 2 && std::isalpha(static_cast<unsigned char>(value[0])) && value[1] == ':' &&
               (value.size() == 2 || value[2] == '\\' || value[2] == '/');
  if (!drive) return value;
  std::string link = prefix + "/dosdevices/" + static_cast<char>(std::tolower(static_cast<unsigned char>(value[0]))) + ":";
  std::error_code error;
  std::filesystem::path target = std::filesystem::canonical(link, error);
  std::string folder = error ? link : target.string();
  std::string rest = value.substr(2);
  for (char& c : rest)
    if (c == '\\') c = '/';
  if (!folder.empty() && folder.back() == '/' && !rest.empty() && rest.front() == '/') rest.erase(0, 1);
  return folder + rest;
}

}  // namespace

std::string ReadRegistryString(const std::string& key, const std::string& valueName) {
  std::string prefix = WinePrefix();
  std::ifstream file(prefix + "/system.reg", std::ios::binary);
  if (!file) return {};
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) return {};
  std::string value = systemreg::LookupString(text.str(), key, valueName);
  return value.empty() ? value : MapDriveLetter(prefix, value);
}

}  // namespace platform
