// orvan-mkpatch xpd: writes a valid expansion header at the start of an expansion data file.
#pragma once

#include <string>
#include <vector>

namespace mkpatch {

// xpd --id N --version NUMBER [--check-count C] FILE
int XpdCommand(const std::vector<std::string>& args);

}  // namespace mkpatch
