// Posix backend: which entry of a folder Windows would open for a name. Windows ignores the case
// of letters in names; every lookup of the posix backend that must do the same asks here.
#pragma once

#include <optional>
#include <string>

namespace platform::posix {

// Whether two names differ at most in letter case (UTF-8 letters, by character).
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

// The entry of `folder` ("" for the current folder) that Windows would open for `name`: `name`
// itself when it exists, else the first in byte order of the entries that differ from it only in
// letter case (so the choice among several case variants is always the same one); nothing when
// there is neither, or the folder can't be read.
std::optional<std::string> EntryOnDisk(const std::string& folder, const std::string& name);

}  // namespace platform::posix
