// Win32 backend of the registry: reads HKEY_LOCAL_MACHINE in the 32-bit view, where the game records itself.
#include "platform/desktop.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

class KeyHandle {
 public:
  explicit KeyHandle(HKEY key) : key_(key) {}
  ~KeyHandle() { RegCloseKey(key_); }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_;
};

}  // namespace

std::string ReadRegistryString(const std::string& key, const std::string& valueName) {
  std::string path = key;
  if (!path.empty() && path.front() == '\\') path.erase(0, 1);
  // Read access only: a player's process is not elevated and would be refused all access.
  // KEY_WOW64_32KEY: the 32-bit game writes the 32-bit view; the 32-bit build reads it anyway.
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &opened) != ERROR_SUCCESS)
    return {};
  KeyHandle handle(opened);

  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExA(handle.get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw FrameworkError("Invalid data type for '" + valueName + "'");
    std::vector<char> data(size + 1, '\0');
    status = RegQueryValueExA(handle.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (status == ERROR_MORE_DATA) continue;  // the value grew between the two calls
    if (status != ERROR_SUCCESS) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw FrameworkError("Invalid data type for '" + valueName + "'");
    data[std::min<size_t>(size, data.size() - 1)] = '\0';
    return std::string(data.data());
  }
  return {};
}

}  // namespace platform
