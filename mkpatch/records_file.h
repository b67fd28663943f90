// The builder's records file: one description record per line, in payload order.
#pragma once

#include <string>
#include <vector>

namespace mkpatch {

// Reads the records; empty lines and lines beginning with '#' are skipped. Throws
// std::runtime_error with a one-line reason when the file is unreadable or unusable.
std::vector<std::string> ReadRecordsFile(const std::string& path);

}  // namespace mkpatch
