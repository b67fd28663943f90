// Which paths a payload may name: only ones that stay inside the installation folder.
#pragma once

#include <string_view>

namespace payload {

bool IsSafeEntryPath(std::string_view path);

}  // namespace payload
