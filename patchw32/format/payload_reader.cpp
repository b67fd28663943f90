// Reading the payload: the trailer, then the index, each bounded and checked before use.
#include "patchw32/format/payload_reader.h"

#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_set>
#include <vector>

#include "patchw32/format/byte_io.h"
#include "patchw32/format/entry_path.h"
#include "patchw32/format/names.h"
#include "platform/files.h"

namespace payload {
namespace {

struct Trailer {
  uint64_t start = 0;  // file offset of the trailer itself
  uint64_t payloadOffset = 0;
  uint64_t payloadLength = 0;
  uint64_t indexLength = 0;
  uint64_t indexHash = 0;
};

// The versions this reader knows: today's, and the one whose index body was stored unpacked.
bool KnownVersion(uint32_t version) { return version == kFormatVersion || version == kStoredIndexVersion; }

bool HasTrailerMagic(std::span<const std::byte> bytes) {
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kTrailerMagic, 8) == 0;
}

std::optional<std::vector<std::byte>> ReadBlock(const ReadAtFunction& readAt, uint64_t offset, size_t size) {
  std::vector<std::byte> block(size);
  if (!readAt(offset, block)) return std::nullopt;
  return block;
}

// A signed Windows executable ends with its certificate table; the trailer stands before it,
// after at most 7 zero bytes that align the table.
std::optional<uint64_t> TrailerEndBeforeCertificates(uint64_t fileSize, const ReadAtFunction& readAt) {
  auto table = FindCertificateTable(fileSize, readAt);
  if (!table || table->offset + table->size != fileSize) return std::nullopt;
  uint64_t tableOffset = table->offset;
  auto padding = ReadBlock(readAt, tableOffset >= 8 ? tableOffset - 8 : 0, 8);
  if (!padding || tableOffset < kTrailerSize + 8) return std::nullopt;
  // Trailing zero bytes are alignment, unless they belong to a trailer's checksum: try each.
  for (uint64_t zeros = 0; zeros < 8; ++zeros) {
    if (zeros > 0 && (*padding)[8 - zeros] != std::byte{0}) break;
    auto candidate = ReadBlock(readAt, tableOffset - zeros - kTrailerSize, 8);
    if (candidate && HasTrailerMagic(*candidate)) return tableOffset - zeros;
  }
  return std::nullopt;
}

bool FindTrailer(uint64_t fileSize, const ReadAtFunction& readAt, Trailer& trailer, std::string& error) {
  if (fileSize < kTrailerSize) {
    error = "the file is too short to hold a patch";
    return false;
  }
  uint64_t end = fileSize;
  auto last = ReadBlock(readAt, fileSize - kTrailerSize, kTrailerSize);
  if (!last) {
    error = "the file could not be read";
    return false;
  }
  if (HasTrailerMagic(*last) && FindCertificateTable(fileSize, readAt)) {
    // The payload follows the signature: it was appended after signing, which breaks the signature.
    error = "the updater was signed before its patch was appended (sign the finished updater)";
    return false;
  }
  if (!HasTrailerMagic(*last)) {
    auto signedEnd = TrailerEndBeforeCertificates(fileSize, readAt);
    if (!signedEnd) {
      error = "the file holds no patch";
      return false;
    }
    end = *signedEnd;
    last = ReadBlock(readAt, end - kTrailerSize, kTrailerSize);
    if (!last) {
      error = "the file could not be read";
      return false;
    }
  }
  ByteReader reader(*last);
  reader.ReadBytes(8);
  uint32_t version = reader.Read<uint32_t>();
  uint32_t size = reader.Read<uint32_t>();
  trailer.start = end - kTrailerSize;
  trailer.payloadOffset = reader.Read<uint64_t>();
  trailer.payloadLength = reader.Read<uint64_t>();
  trailer.indexLength = reader.Read<uint64_t>();
  trailer.indexHash = reader.Read<uint64_t>();
  if (!KnownVersion(version) || size != kTrailerSize) {
    error = "the patch is of an unknown format version";
    return false;
  }
  if (trailer.payloadOffset > trailer.start || trailer.start - trailer.payloadOffset != trailer.payloadLength ||
      trailer.indexLength < kIndexHeaderSize || trailer.indexLength > trailer.payloadLength ||
      trailer.indexLength > kMaxIndexLength) {
    error = "the patch's trailer is damaged";
    return false;
  }
  return true;
}

bool ParseEntry(ByteReader& reader, uint64_t dataLength, FileEntry& entry, std::string& error) {
  uint16_t pathLength = reader.Read<uint16_t>();
  entry.path = reader.ReadText(pathLength);
  entry.operation = static_cast<Operation>(reader.Read<uint8_t>());
  entry.flags = reader.Read<uint8_t>();
  entry.codec = static_cast<Codec>(reader.Read<uint8_t>());
  uint8_t reserved = reader.Read<uint8_t>();
  entry.oldSize = reader.Read<uint64_t>();
  entry.oldHash.low = reader.Read<uint64_t>();
  entry.oldHash.high = reader.Read<uint64_t>();
  entry.newSize = reader.Read<uint64_t>();
  entry.newHash.low = reader.Read<uint64_t>();
  entry.newHash.high = reader.Read<uint64_t>();
  entry.dataOffset = reader.Read<uint64_t>();
  entry.dataLength = reader.Read<uint64_t>();
  entry.dataHash = reader.Read<uint64_t>();
  if (entry.HasReference()) {
    uint8_t count = reader.Read<uint8_t>();
    for (uint8_t i = 0; i < count && i < kMaxReferences && !reader.Failed(); ++i) {
      Reference reference;
      uint16_t length = reader.Read<uint16_t>();
      reference.path = reader.ReadText(length);
      reference.size = reader.Read<uint64_t>();
      reference.hash.low = reader.Read<uint64_t>();
      reference.hash.high = reader.Read<uint64_t>();
      entry.references.push_back(std::move(reference));
    }
    if (count == 0 || count > kMaxReferences) {
      error = "the patch's file table is damaged at " + entry.path;
      return false;
    }
  }
  if (reader.Failed()) {
    error = "the patch's file table is cut short";
    return false;
  }
  if (!IsSafeEntryPath(entry.path)) {
    error = "the patch names a file outside the installation folder: " + entry.path;
    return false;
  }
  bool knownOperation = entry.operation == Operation::Modify || entry.operation == Operation::Add ||
                        entry.operation == Operation::Delete;
  bool knownCodec = static_cast<uint8_t>(entry.codec) <= static_cast<uint8_t>(Codec::DeltaZstd);
  bool deleteHasNoData = (entry.operation == Operation::Delete) ==
                         (entry.codec == Codec::None && entry.dataLength == 0);
  bool dataInside = entry.dataOffset <= dataLength && entry.dataLength <= dataLength - entry.dataOffset;
  if (!knownOperation || !knownCodec || !deleteHasNoData || !dataInside || reserved != 0 ||
      (entry.flags & ~(kEntryOptional | kEntryReference)) != 0) {
    error = "the patch's file table is damaged at " + entry.path;
    return false;
  }
  if (!entry.HasReference()) return true;
  // Only a codec that reads an old file has a use for references; an added file's own path names
  // no old file, and no file is two of them; together they are an old file the codec can address.
  // (A changed file's own old file may be one of several its new contents were made from.)
  bool sound = ReadsOldFile(entry.codec);
  uint64_t total = 0;
  for (size_t i = 0; i < entry.references.size(); ++i) {
    const Reference& reference = entry.references[i];
    if (!IsSafeEntryPath(reference.path)) {
      error = "the patch names a file outside the installation folder: " + reference.path;
      return false;
    }
    bool own = SameName(reference.path, entry.path);
    if ((own && entry.operation != Operation::Modify) || reference.size > (uint64_t{1} << 62) - total) sound = false;
    total += reference.size;
    for (size_t j = 0; j < i; ++j)
      if (SameName(reference.path, entry.references[j].path)) sound = false;
  }
  if (!sound) {
    error = "the patch's file table is damaged at " + entry.path;
    return false;
  }
  return true;
}

}  // namespace

std::optional<CertificateTable> FindCertificateTable(uint64_t fileSize, const ReadAtFunction& readAt) {
  if (fileSize < 64) return std::nullopt;
  auto dos = ReadBlock(readAt, 0, 64);
  if (!dos || (*dos)[0] != std::byte{'M'} || (*dos)[1] != std::byte{'Z'}) return std::nullopt;
  uint32_t peOffset = ByteReader(std::span(*dos).subspan(0x3C)).Read<uint32_t>();
  if (peOffset > fileSize || fileSize - peOffset < 24 + 2) return std::nullopt;
  auto pe = ReadBlock(readAt, peOffset, 24 + 2);
  if (!pe || std::memcmp(pe->data(), "PE\0\0", 4) != 0) return std::nullopt;
  uint16_t magic = ByteReader(std::span(*pe).subspan(24)).Read<uint16_t>();
  uint64_t directories = peOffset + 24 + (magic == 0x20b ? 112 : magic == 0x10b ? 96 : 0);
  if (directories == peOffset + 24 || directories + 5 * 8 > fileSize) return std::nullopt;
  auto security = ReadBlock(readAt, directories + 4 * 8, 8);
  if (!security) return std::nullopt;
  ByteReader reader(*security);
  CertificateTable table;
  table.offset = reader.Read<uint32_t>();
  table.size = reader.Read<uint32_t>();
  if (table.offset == 0 || table.size == 0) return std::nullopt;
  return table;
}

bool ParseIndex(std::span<const std::byte> index, uint64_t payloadLength, PayloadIndex& out,
                std::string& error) {
  ByteReader header(index);
  auto magic = header.ReadBytes(8);
  uint32_t version = header.Read<uint32_t>();
  uint32_t recordCount = header.Read<uint32_t>();
  uint32_t entryCount = header.Read<uint32_t>();
  header.Read<uint32_t>();
  uint64_t recordsLength = header.Read<uint64_t>();
  uint64_t tableLength = header.Read<uint64_t>();
  uint64_t dataLength = header.Read<uint64_t>();
  if (header.Failed() || std::memcmp(magic.data(), kIndexMagic, 8) != 0 || !KnownVersion(version)) {
    error = "the patch's index is not of a known format";
    return false;
  }
  std::span<const std::byte> stored = index.subspan(kIndexHeaderSize);
  std::vector<std::byte> unpacked;
  if (version == kFormatVersion) {
    // The lengths are the unpacked body's; the frame must say the same and fill the rest exactly.
    bool bounded = recordsLength <= kMaxIndexLength && tableLength <= kMaxIndexLength - recordsLength;
    uint64_t unpackedLength = recordsLength + tableLength;
    if (!bounded || ZSTD_getFrameContentSize(stored.data(), stored.size()) != unpackedLength ||
        ZSTD_findFrameCompressedSize(stored.data(), stored.size()) != stored.size()) {
      error = "the patch's index is damaged";
      return false;
    }
    unpacked.resize(static_cast<size_t>(unpackedLength));
    size_t written = ZSTD_decompress(unpacked.data(), unpacked.size(), stored.data(), stored.size());
    if (ZSTD_isError(written) || written != unpacked.size()) {
      error = "the patch's index is damaged";
      return false;
    }
    stored = unpacked;
  }
  uint64_t bodyLength = stored.size();
  if (recordCount > kMaxRecords || entryCount > kMaxEntries || recordsLength > bodyLength ||
      tableLength != bodyLength - recordsLength || dataLength != payloadLength - index.size()) {
    error = "the patch's index is damaged";
    return false;
  }

  ByteReader records(stored.first(recordsLength));
  out.records.clear();
  for (uint32_t i = 0; i < recordCount; ++i) {
    uint32_t length = records.Read<uint32_t>();
    if (length > kMaxRecordLength) break;
    out.records.push_back(records.ReadText(length));
  }
  if (records.Failed() || out.records.size() != recordCount || records.Remaining() != 0) {
    error = "the patch's description records are damaged";
    return false;
  }

  ByteReader table(stored.subspan(recordsLength));
  // Windows sees names that differ only in case as one file: two such entries would both change it.
  std::unordered_set<std::string> folded;
  out.entries.clear();
  out.entries.reserve(std::min<size_t>(entryCount, table.Remaining() / 80 + 1));
  for (uint32_t i = 0; i < entryCount; ++i) {
    FileEntry entry;
    if (!ParseEntry(table, dataLength, entry, error)) return false;
    if (!out.entries.empty() && !(out.entries.back().path < entry.path)) {
      error = "the patch's file table is out of order at " + entry.path;
      return false;
    }
    if (!folded.insert(FoldName(entry.path)).second) {
      error = "the patch names one file twice: " + entry.path;
      return false;
    }
    out.entries.push_back(std::move(entry));
  }
  if (table.Remaining() != 0) {
    error = "the patch's file table is damaged";
    return false;
  }
  out.dataLength = dataLength;
  out.formatVersion = version;
  return true;
}

bool ReadPayloadIndex(uint64_t fileSize, const ReadAtFunction& readAt, PayloadIndex& index,
                      std::string& error) {
  Trailer trailer;
  if (!FindTrailer(fileSize, readAt, trailer, error)) return false;
  auto bytes = ReadBlock(readAt, trailer.payloadOffset, static_cast<size_t>(trailer.indexLength));
  if (!bytes) {
    error = "the patch could not be read";
    return false;
  }
  if (Hash64(*bytes) != trailer.indexHash) {
    error = "the patch's index fails its checksum";
    return false;
  }
  if (!ParseIndex(*bytes, trailer.payloadLength, index, error)) return false;
  index.dataOffset = trailer.payloadOffset + trailer.indexLength;
  return true;
}

bool ReadPayloadIndex(const platform::File& file, PayloadIndex& index, std::string& error) {
  auto size = file.Size();
  if (!size) {
    error = "the file could not be read";
    return false;
  }
  return ReadPayloadIndex(
      *size, [&file](uint64_t offset, std::span<std::byte> buffer) { return file.ReadAt(offset, buffer); },
      index, error);
}

bool ReadPayloadIndex(std::span<const std::byte> image, PayloadIndex& index, std::string& error) {
  return ReadPayloadIndex(
      image.size(),
      [image](uint64_t offset, std::span<std::byte> buffer) {
        if (offset > image.size() || buffer.size() > image.size() - offset) return false;
        std::memcpy(buffer.data(), image.data() + offset, buffer.size());
        return true;
      },
      index, error);
}

}  // namespace payload
