// Encoding the payload's index and trailer; the builder writes the data blocks between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "patchw32/format/format.h"

namespace payload {

// The index for these records and entries (entries sorted by path), with `dataLength` bytes of
// data to follow it.
std::vector<std::byte> EncodeIndex(const std::vector<std::string>& records,
                                   const std::vector<FileEntry>& entries, uint64_t dataLength);

// The trailer for an index of `index` bytes starting at `payloadOffset`, followed by `dataLength`.
std::vector<std::byte> EncodeTrailer(uint64_t payloadOffset, const std::vector<std::byte>& index,
                                     uint64_t dataLength);

}  // namespace payload
