// orvan-mkpatch inspect: the records and file table of a payload or a finished updater.
#pragma once

#include <string>
#include <vector>

namespace mkpatch {

int InspectCommand(const std::vector<std::string>& args);

}  // namespace mkpatch
