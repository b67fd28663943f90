// orvan-mkpatch build: records (and, later, file trees) -> payload, glued to an updater stub.
#pragma once

#include <string>
#include <vector>

namespace mkpatch {

int BuildCommand(const std::vector<std::string>& args, const std::string& selfPath);

}  // namespace mkpatch
