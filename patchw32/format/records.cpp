// Description records cut into kind and fields.
#include "patchw32/format/records.h"

#include <utility>

#include "patchw32/format/names.h"

namespace payload {

RecordKind KindOfRecord(std::string_view record) {
  static constexpr std::pair<std::string_view, RecordKind> kKeywords[] = {
      {"expansion", RecordKind::Expansion},
      {"versions", RecordKind::Versions},
      {"checksum", RecordKind::Checksum},
      {"registry", RecordKind::Registry}};
  for (const auto& [keyword, kind] : kKeywords)
    if (SameName(record.substr(0, keyword.size()), keyword)) return kind;
  return RecordKind::Unknown;
}

std::string_view TrimmedField(std::string_view text) {
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::string_view> RecordFields::Next() {
  size_t comma = rest_.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string_view field = TrimmedField(rest_.substr(0, comma));
  rest_.remove_prefix(comma + 1);
  return field;
}

std::optional<std::string_view> RecordField(std::string_view record, size_t index) {
  RecordFields fields(record);
  for (size_t i = 0; i < index; ++i)
    if (!fields.Next()) return std::nullopt;
  if (auto field = fields.Next()) return field;
  return fields.Rest();
}

std::string_view ExpansionExtension(std::string_view record) {
  RecordFields fields(record);
  for (int i = 0; i < 4; ++i)
    if (!fields.Next()) return {};
  return fields.Rest().substr(0, 3);
}

std::vector<std::string> ExpansionExtensionsOf(const std::vector<std::string>& records) {
  std::vector<std::string> extensions;
  for (const auto& record : records) {
    if (KindOfRecord(record) != RecordKind::Expansion) continue;
    std::string_view extension = ExpansionExtension(record);
    if (!extension.empty()) extensions.push_back(FoldName(extension));
  }
  return extensions;
}

}  // namespace payload
