// The payload reader finds the trailer, checks everything and refuses damage of any kind.
#include <gtest/gtest.h>
#include <zstd.h>

#include <cstring>
#include <string>
#include <vector>

#include "patchw32/format/payload_reader.h"
#include "patchw32/format/payload_writer.h"

namespace {

using payload::FileEntry;
using payload::PayloadIndex;

// A stub of `stubSize` bytes, then a payload with these records and entries and `dataLength` bytes.
std::vector<std::byte> Image(const std::vector<std::string>& records, const std::vector<FileEntry>& entries = {},
                             uint64_t dataLength = 0, size_t stubSize = 100) {
  std::vector<std::byte> image(stubSize, std::byte{0x5A});
  auto index = payload::EncodeIndex(records, entries, dataLength);
  image.insert(image.end(), index.begin(), index.end());
  image.resize(image.size() + dataLength, std::byte{0x11});
  auto trailer = payload::EncodeTrailer(stubSize, index, dataLength);
  image.insert(image.end(), trailer.begin(), trailer.end());
  return image;
}

FileEntry Entry(const std::string& path, uint64_t offset = 0, uint64_t length = 4) {
  FileEntry entry;
  entry.path = path;
  entry.operation = payload::Operation::Add;
  entry.codec = payload::Codec::PlainZstd;
  entry.newSize = 10;
  entry.newHash = {1, 2};
  entry.dataOffset = offset;
  entry.dataLength = length;
  entry.dataHash = 77;
  return entry;
}

bool Read(const std::vector<std::byte>& image, PayloadIndex& index, std::string& error) {
  return payload::ReadPayloadIndex(std::span(image), index, error);
}

TEST(PayloadReader, ReadsRecordsAndEntriesBack) {
  auto entry = Entry("data/a.pak", 4, 6);
  entry.flags = payload::kEntryOptional;
  auto image = Image({"versions,a,a.exe,1,2", "", "registry,k"}, {Entry("a.exe"), entry}, 10);
  PayloadIndex index;
  std::string error;
  ASSERT_TRUE(Read(image, index, error)) << error;
  EXPECT_EQ(index.records, (std::vector<std::string>{"versions,a,a.exe,1,2", "", "registry,k"}));
  ASSERT_EQ(index.entries.size(), 2u);
  EXPECT_EQ(index.entries[1].path, "data/a.pak");
  EXPECT_TRUE(index.entries[1].Optional());
  EXPECT_EQ(index.entries[1].dataOffset, 4u);
  EXPECT_EQ(index.entries[0].newHash, (payload::Hash128{1, 2}));
  EXPECT_EQ(index.dataLength, 10u);
  EXPECT_EQ(index.dataOffset, image.size() - 48 - 10);
}

FileEntry Referring(const std::string& path, const std::vector<std::string>& references) {
  FileEntry entry = Entry(path);
  entry.codec = payload::Codec::Covers;
  entry.flags = payload::kEntryReference;
  for (size_t i = 0; i < references.size(); ++i) entry.references.push_back({references[i], 100 + i, {5, i}});
  return entry;
}

TEST(PayloadReader, ReadsReferencesBackBetweenEntriesWithout) {
  // A changed file may be made from its own old file and others.
  auto changed = Referring("src/Main.js", {"src/main.js", "src/other.js"});
  changed.operation = payload::Operation::Modify;
  auto image = Image({}, {Entry("a.exe"), Referring("data/new.pak", {"old/Old.pak", "old/b.pak"}), changed, Entry("z.txt")}, 4);
  PayloadIndex index;
  std::string error;
  ASSERT_TRUE(Read(image, index, error)) << error;
  ASSERT_EQ(index.entries.size(), 4u);
  EXPECT_FALSE(index.entries[0].HasReference());
  const FileEntry& entry = index.entries[1];
  ASSERT_TRUE(entry.HasReference());
  ASSERT_EQ(entry.references.size(), 2u);
  EXPECT_EQ(entry.references[0].path, "old/Old.pak");
  EXPECT_EQ(entry.references[1].path, "old/b.pak");
  EXPECT_EQ(entry.references[1].size, 101u);
  EXPECT_EQ(entry.references[1].hash, (payload::Hash128{5, 1}));
  EXPECT_EQ(entry.DecodedOldSize(), 201u);
  EXPECT_EQ(index.entries[2].references.size(), 2u);
  EXPECT_EQ(index.entries[3].path, "z.txt");
}

TEST(PayloadReader, RefusesFilesWithoutAPayload) {
  for (size_t size : {0, 10, 47, 48, 5000}) {
    std::vector<std::byte> image(size, std::byte{0});
    PayloadIndex index;
    std::string error;
    EXPECT_FALSE(Read(image, index, error)) << size;
    EXPECT_FALSE(error.empty());
  }
}

TEST(PayloadReader, EveryFlippedOrCutByteOfTheIndexAndTrailerIsCaught) {
  auto good = Image({"versions,a,a.exe,1,2", "registry,k"}, {Entry("a.exe")}, 4);
  size_t indexStart = 100;
  size_t dataStart = good.size() - 48 - 4;
  for (size_t at = indexStart; at < good.size(); ++at) {
    if (at >= dataStart && at < dataStart + 4) continue;  // data blocks have checksums of their own
    auto bad = good;
    bad[at] ^= std::byte{0x01};
    PayloadIndex index;
    std::string error;
    EXPECT_FALSE(Read(bad, index, error)) << "flipped byte " << at;
  }
  for (size_t cut = 1; cut < good.size() - indexStart; ++cut) {
    std::vector<std::byte> bad(good.begin(), good.end() - static_cast<ptrdiff_t>(cut));
    PayloadIndex index;
    std::string error;
    EXPECT_FALSE(Read(bad, index, error)) << "cut " << cut;
  }
}

TEST(PayloadReader, RefusesIndexesThatBreakTheirRulesEvenWithAGoodChecksum) {
  auto outOfOrder = std::vector<FileEntry>{Entry("b"), Entry("a")};
  auto duplicate = std::vector<FileEntry>{Entry("a"), Entry("a")};
  auto hostile = std::vector<FileEntry>{Entry("../../etc/passwd")};
  auto device = std::vector<FileEntry>{Entry("data/nul.txt")};
  auto dataOutside = std::vector<FileEntry>{Entry("a", 2, 3)};
  auto hugeOffset = std::vector<FileEntry>{Entry("a", UINT64_MAX - 1, 3)};
  auto deleteWithData = std::vector<FileEntry>{Entry("a")};
  deleteWithData[0].operation = payload::Operation::Delete;
  auto badOperation = std::vector<FileEntry>{Entry("a")};
  badOperation[0].operation = static_cast<payload::Operation>(9);
  auto badCodec = std::vector<FileEntry>{Entry("a")};
  badCodec[0].codec = static_cast<payload::Codec>(9);
  auto unknownFlag = std::vector<FileEntry>{Entry("a")};
  unknownFlag[0].flags = 0x80;
  auto hostileReference = std::vector<FileEntry>{Referring("a", {"b", "../outside"})};
  auto ownReference = std::vector<FileEntry>{Referring("Data/a", {"data/A"})};  // an added file's own path
  auto referenceUnused = std::vector<FileEntry>{Referring("a", {"b"})};
  referenceUnused[0].codec = payload::Codec::PlainZstd;
  auto noReferences = std::vector<FileEntry>{Referring("a", {})};
  auto sameTwice = std::vector<FileEntry>{Referring("a", {"b", "c", "B"})};
  auto tooMany = std::vector<FileEntry>{Referring("a", {"b", "c", "d", "e", "f", "g", "h", "i", "j"})};
  struct Case {
    const char* name;
    std::vector<FileEntry> entries;
  };
  const Case cases[] = {{"out of order", outOfOrder}, {"duplicate", duplicate},  {"hostile path", hostile},
                        {"device name", device},       {"data outside", dataOutside}, {"huge offset", hugeOffset},
                        {"delete with data", deleteWithData}, {"operation", badOperation}, {"codec", badCodec},
                        {"flag", unknownFlag}, {"reference outside", hostileReference},
                        {"reference to itself", ownReference}, {"reference its codec can't read", referenceUnused},
                        {"no references", noReferences}, {"one reference twice", sameTwice},
                        {"more references than allowed", tooMany}};
  for (const auto& c : cases) {
    auto image = Image({"versions,a,a.exe,1,2"}, c.entries, 4);
    PayloadIndex index;
    std::string error;
    EXPECT_FALSE(Read(image, index, error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
}

// An index of `version` with this header and body as they stand, behind a trailer that vouches for
// them: what a reader sees of an index written wrongly rather than damaged on the way.
std::vector<std::byte> IndexImage(uint32_t version, uint64_t recordsLength, uint64_t tableLength,
                                  std::span<const std::byte> body) {
  std::vector<std::byte> index(48);
  std::memcpy(index.data(), payload::kIndexMagic, 8);
  uint32_t counts[4] = {version, 1, 0, 0};
  std::memcpy(index.data() + 8, counts, sizeof counts);
  uint64_t lengths[3] = {recordsLength, tableLength, 0};
  std::memcpy(index.data() + 24, lengths, sizeof lengths);
  index.insert(index.end(), body.begin(), body.end());
  auto trailer = payload::EncodeTrailer(0, index, 0);
  index.insert(index.end(), trailer.begin(), trailer.end());
  return index;
}

std::vector<std::byte> Packed(std::span<const std::byte> body) {
  std::vector<std::byte> packed(ZSTD_compressBound(body.size()));
  packed.resize(ZSTD_compress(packed.data(), packed.size(), body.data(), body.size(), 3));
  return packed;
}

// Payloads of earlier builders stored the index's body as it is; they are still read.
TEST(PayloadReader, ReadsAnIndexStoredUnpacked) {
  const char record[] = "\x0a\0\0\0registry,k";
  auto body = std::as_bytes(std::span(record, sizeof record - 1));
  PayloadIndex index;
  std::string error;
  ASSERT_TRUE(Read(IndexImage(payload::kStoredIndexVersion, body.size(), 0, body), index, error)) << error;
  EXPECT_EQ(index.records, std::vector<std::string>{"registry,k"});
  EXPECT_EQ(index.formatVersion, payload::kStoredIndexVersion);
  // The same body packed is today's index.
  ASSERT_TRUE(Read(IndexImage(payload::kFormatVersion, body.size(), 0, Packed(body)), index, error)) << error;
  EXPECT_EQ(index.records, std::vector<std::string>{"registry,k"});
  EXPECT_EQ(index.formatVersion, payload::kFormatVersion);
}

TEST(PayloadReader, RefusesAPackedIndexBodyThatDisagreesWithItsLengths) {
  const char record[] = "\x0a\0\0\0registry,k";
  auto body = std::as_bytes(std::span(record, sizeof record - 1));
  auto packed = Packed(body);
  auto trailing = packed;
  trailing.push_back(std::byte{0});
  std::vector<std::byte> cut(packed.begin(), packed.end() - 1);
  auto unpacked = std::vector<std::byte>(body.begin(), body.end());
  struct Case {
    const char* name;
    uint64_t recordsLength, tableLength;
    std::vector<std::byte> body;
  };
  const Case cases[] = {{"longer than it unpacks to", body.size() + 1, 0, packed},
                        {"shorter than it unpacks to", body.size() - 1, 0, packed},
                        {"lengths past the index's bound", uint64_t{1} << 62, uint64_t{1} << 62, packed},
                        {"a byte after the frame", body.size(), 0, trailing},
                        {"a frame cut short", body.size(), 0, cut},
                        {"not packed at all", body.size(), 0, unpacked}};
  for (const auto& c : cases) {
    PayloadIndex index;
    std::string error;
    EXPECT_FALSE(Read(IndexImage(payload::kFormatVersion, c.recordsLength, c.tableLength, c.body), index, error))
        << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
}

TEST(PayloadReader, RefusesOverlongRecordsAndTooManyOfThem) {
  PayloadIndex index;
  std::string error;
  EXPECT_FALSE(Read(Image({std::string(payload::kMaxRecordLength + 1, 'r')}), index, error));
  EXPECT_TRUE(Read(Image({std::string(payload::kMaxRecordLength, 'r')}), index, error)) << error;
  EXPECT_FALSE(Read(Image(std::vector<std::string>(payload::kMaxRecords + 1, "r")), index, error));
}

// A PE stub whose security directory names a certificate table at `tableOffset`, `tableSize` long.
std::vector<std::byte> PeStub(uint32_t tableOffset = 0, uint32_t tableSize = 0) {
  std::vector<std::byte> stub(512, std::byte{0});
  stub[0] = std::byte{'M'}, stub[1] = std::byte{'Z'};
  uint32_t peOffset = 0x80;
  std::memcpy(stub.data() + 0x3C, &peOffset, 4);
  std::memcpy(stub.data() + peOffset, "PE\0\0", 4);
  uint16_t magic = 0x20b;  // PE32+
  std::memcpy(stub.data() + peOffset + 24, &magic, 2);
  std::memcpy(stub.data() + peOffset + 24 + 112 + 4 * 8, &tableOffset, 4);
  std::memcpy(stub.data() + peOffset + 24 + 112 + 4 * 8 + 4, &tableSize, 4);
  return stub;
}

// A signed Windows executable: the certificate table, named by the PE header, follows the payload.
TEST(PayloadReader, FindsThePayloadBeforeACertificateTable) {
  auto index = payload::EncodeIndex({"versions,a,a.exe,1,2"}, {}, 0);
  for (size_t padding : {0, 3, 7}) {
    std::vector<std::byte> image = PeStub();
    size_t stubSize = image.size();
    image.insert(image.end(), index.begin(), index.end());
    auto trailer = payload::EncodeTrailer(stubSize, index, 0);
    image.insert(image.end(), trailer.begin(), trailer.end());
    image.resize(image.size() + padding, std::byte{0});
    uint32_t tableOffset = static_cast<uint32_t>(image.size());
    uint32_t tableSize = 40;
    image.resize(image.size() + tableSize, std::byte{0x33});
    auto signedStub = PeStub(tableOffset, tableSize);
    std::copy(signedStub.begin(), signedStub.end(), image.begin());

    PayloadIndex read;
    std::string error;
    ASSERT_TRUE(Read(image, read, error)) << "padding " << padding << ": " << error;
    EXPECT_EQ(read.records, std::vector<std::string>{"versions,a,a.exe,1,2"});

    // A table that does not end the file is not believed.
    image.push_back(std::byte{0});
    EXPECT_FALSE(Read(image, read, error));
  }
}

// Signed first, payload appended after: the signature no longer holds, and the file is refused
// with a reason a publisher can act on.
TEST(PayloadReader, RefusesAPayloadAppendedAfterTheSignature) {
  std::vector<std::byte> image = PeStub(512, 40);
  image.resize(552, std::byte{0x33});  // the stub's own certificate table
  auto index = payload::EncodeIndex({"versions,a,a.exe,1,2"}, {}, 0);
  size_t stubSize = image.size();
  image.insert(image.end(), index.begin(), index.end());
  auto trailer = payload::EncodeTrailer(stubSize, index, 0);
  image.insert(image.end(), trailer.begin(), trailer.end());

  PayloadIndex read;
  std::string error;
  EXPECT_FALSE(Read(image, read, error));
  EXPECT_NE(error.find("signed before its patch was appended"), std::string::npos) << error;

  // The same bytes unsigned are a good updater.
  auto unsignedStub = PeStub();
  std::copy(unsignedStub.begin(), unsignedStub.end(), image.begin());
  EXPECT_TRUE(Read(image, read, error)) << error;
}

}  // namespace
