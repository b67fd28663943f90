// Finds the payload appended to a file and reads its index, checking every field first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "patchw32/format/format.h"

namespace platform {
class File;
}

namespace payload {

// Reads `buffer.size()` bytes at `offset`; false when it can't.
using ReadAtFunction = std::function<bool(uint64_t offset, std::span<std::byte> buffer)>;

// On failure returns false and says why in `error`; `index` is then unspecified.
bool ReadPayloadIndex(uint64_t fileSize, const ReadAtFunction& readAt, PayloadIndex& index,
                      std::string& error);
bool ReadPayloadIndex(const platform::File& file, PayloadIndex& index, std::string& error);
bool ReadPayloadIndex(std::span<const std::byte> image, PayloadIndex& index, std::string& error);

// Where a signed Windows executable keeps its certificate table, as the PE header's security
// directory says; nothing for a file that is not a PE executable or is not signed.
struct CertificateTable {
  uint64_t offset = 0;
  uint64_t size = 0;
};
std::optional<CertificateTable> FindCertificateTable(uint64_t fileSize, const ReadAtFunction& readAt);

// Parses an index that has already been found and checksummed (exposed for the builder's tests).
bool ParseIndex(std::span<const std::byte> index, uint64_t payloadLength, PayloadIndex& out,
                std::string& error);

}  // namespace payload
