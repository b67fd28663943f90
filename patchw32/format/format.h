// The payload's layout and limits (FORMAT.md beside this file describes it in full).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "patchw32/format/hash.h"

namespace payload {

inline constexpr char kTrailerMagic[8] = {'O', 'R', 'V', 'N', 'T', 'R', 'L', 'R'};
inline constexpr char kIndexMagic[8] = {'O', 'R', 'V', 'N', 'P', 'A', 'Y', '\0'};
// Version 2 stores the index's records and file table as one zstd frame; version 1, which is
// still read, stored them as they are.
inline constexpr uint32_t kFormatVersion = 2;
inline constexpr uint32_t kStoredIndexVersion = 1;
inline constexpr uint32_t kTrailerSize = 48;
inline constexpr uint32_t kIndexHeaderSize = 48;

inline constexpr uint64_t kMaxIndexLength = 64ull << 20;
inline constexpr uint32_t kMaxRecords = 4096;
inline constexpr uint32_t kMaxRecordLength = 65535;
inline constexpr uint32_t kMaxEntries = 1'000'000;
inline constexpr uint16_t kMaxPathLength = 1024;

enum class Operation : uint8_t { Modify = 1, Add = 2, Delete = 3 };
// CoversX86 and CoversX64 are covers over an executable whose branch distances were converted
// to positions (32-bit x86 calls; x86-64 calls and instruction-relative operands); DeltaZstd is
// plain zstd over the differences between neighbouring bytes.
enum class Codec : uint8_t {
  None = 0,
  PlainZstd = 1,
  ReferenceZstd = 2,
  Covers = 3,
  CoversX86 = 4,
  CoversX64 = 5,
  DeltaZstd = 6
};
inline constexpr uint8_t kEntryOptional = 0x01;
// The entry is coded against other old files than the one at its own path (it was renamed, moved,
// copied, split off or merged from them): its references, named after the entry's fixed fields.
inline constexpr uint8_t kEntryReference = 0x02;
// An entry is decoded against its references one after another, as if they were one old file.
inline constexpr size_t kMaxReferences = 8;

// The codec's short name, as the builder's listing shows it.
inline const char* CodecName(Codec codec) {
  switch (codec) {
    case Codec::None: return "none";
    case Codec::PlainZstd: return "zstd";
    case Codec::ReferenceZstd: return "ref-zstd";
    case Codec::Covers: return "covers";
    case Codec::CoversX86: return "covers-x86";
    case Codec::CoversX64: return "covers-x64";
    case Codec::DeltaZstd: return "delta-zstd";
  }
  return "?";
}

// An old file an entry is decoded against, and what it must hold.
struct Reference {
  std::string path;
  uint64_t size = 0;
  Hash128 hash;
};

// Whether a codec's data block is decoded against an old file (and so has a use for references).
inline bool ReadsOldFile(Codec codec) {
  return codec == Codec::ReferenceZstd || codec == Codec::Covers || codec == Codec::CoversX86 ||
         codec == Codec::CoversX64;
}

struct FileEntry {
  std::string path;  // '/'-separated, relative to the installation folder
  Operation operation = Operation::Modify;
  uint8_t flags = 0;
  Codec codec = Codec::None;
  uint64_t oldSize = 0;
  Hash128 oldHash;
  uint64_t newSize = 0;
  Hash128 newHash;
  uint64_t dataOffset = 0;  // from the start of the data area
  uint64_t dataLength = 0;
  uint64_t dataHash = 0;
  // With kEntryReference: the old files the data block is decoded against, joined in this order.
  std::vector<Reference> references;

  bool Optional() const { return (flags & kEntryOptional) != 0; }
  bool HasReference() const { return (flags & kEntryReference) != 0; }
  // The size of the old file the data block is decoded against: its references' or its own.
  uint64_t DecodedOldSize() const {
    if (!HasReference()) return oldSize;
    uint64_t size = 0;
    for (const auto& reference : references) size += reference.size;
    return size;
  }
};

// What the index says, once it has been read and checked.
struct PayloadIndex {
  std::vector<std::string> records;
  std::vector<FileEntry> entries;
  uint64_t dataOffset = 0;  // absolute file offset of the data area
  uint64_t dataLength = 0;
  uint32_t formatVersion = kFormatVersion;
};

}  // namespace payload
