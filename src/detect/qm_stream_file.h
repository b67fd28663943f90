// QMStreamFile: one expansion data file, open while the scan examines its header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "patchw32/format/expansion_header.h"
#include "platform/files.h"

class QMStreamFile {
 public:
  // Opens the file and reads its header; a file that can't be read keeps a zero header.
  explicit QMStreamFile(const std::string& path);

  // The identifier, or 0 when the header is not a valid expansion header.
  uint32_t ExtractId() const;
  void GatherBit(unsigned position, uint32_t& accumulator, unsigned target) const;

  bool IsOpen() const { return Handle != nullptr; }

  std::unique_ptr<platform::File> Handle;  // null when the open failed; closed with the object
  std::array<std::byte, kExpansionHeaderSize> Header{};
  ExpansionFileHeader Fields;
  std::string VersionText;  // empty when no byte of the header was read
  std::string Name;         // the path's part behind its last separator
};
