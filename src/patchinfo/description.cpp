// The description records: versions, checksum, expansion and registry, read into class Update.
// The grammar is the shared one; what is kept, and what a short record leaves unset, is ours.
#include "src/patchinfo/description.h"

#include <optional>
#include <string_view>

#include "patchw32/format/records.h"
#include "platform/files.h"

namespace {

using payload::RecordFields;

// The next field when a comma ends it.
std::optional<std::string> Next(RecordFields& fields) {
  auto field = fields.Next();
  if (!field) return std::nullopt;
  return std::string(*field);
}

void StoreVersions(Update& info, RecordFields& fields) {
  auto product = Next(fields);
  if (!product) return;
  info.ProductName = *product;
  auto exe = Next(fields);
  if (!exe) return;
  info.ExeName = *exe;
  auto from = Next(fields);
  if (!from) return;
  ParseVersionStamp(info.FromVersion, *from);
  ParseVersionStamp(info.ToVersion, std::string(fields.Rest()));
  info.Valid = true;
}

void StoreChecksum(Update& info, RecordFields& fields) {
  auto file = Next(fields);
  auto value = Next(fields);
  auto length = Next(fields);
  if (!file || !value || !length) return;
  info.ChecksumFiles.push_back(*file);
  info.ChecksumValues.push_back(*value);
  info.ChecksumLengths.push_back(*length);
  info.ChecksumVersions.push_back(std::string(fields.Rest()));
}

void StoreExpansion(Update& info, RecordFields& fields, std::string_view record) {
  auto name = Next(fields);
  auto id = Next(fields);
  auto version = Next(fields);
  if (!name || !id || !version) return;
  TitleCaseWords(*name);
  info.ExpansionNames.push_back(*name);
  info.ExpansionIds.push_back(*id);
  info.ExpansionVersions.push_back(*version);
  info.ExpansionExtensions.push_back(std::string(payload::ExpansionExtension(record)));
}

}  // namespace

void TitleCaseWords(std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    bool wordStart = i == 0 || text[i - 1] == ' ';
    if (wordStart && text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 32);
  }
}

std::string ShortNameOf(const std::string& productName) {
  size_t cut = productName.find(':');
  if (cut == std::string::npos) cut = productName.find(' ');
  return productName.substr(0, cut);
}

void ParseDescriptionRecord(Update& info, const std::string& engineText) {
  // Lower-cased with the system's code page first, so that every field the program keeps is too.
  std::string record = platform::AnsiLowerCase(engineText);
  if (!record.empty()) record.pop_back();  // the engine's extra final character

  payload::RecordKind kind = payload::KindOfRecord(record);
  RecordFields fields(record);
  if (kind == payload::RecordKind::Unknown || !fields.Next()) return;  // the keyword needs its comma
  switch (kind) {
    case payload::RecordKind::Versions: StoreVersions(info, fields); break;
    case payload::RecordKind::Checksum: StoreChecksum(info, fields); break;
    case payload::RecordKind::Expansion: StoreExpansion(info, fields, record); break;
    case payload::RecordKind::Registry: info.RegistryKeys.push_back(std::string(fields.Rest())); break;
    case payload::RecordKind::Unknown: break;
  }
}
