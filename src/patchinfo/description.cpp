// The description records: versions, checksum, expansion and registry, cut into fields.
#include "src/patchinfo/description.h"

#include <optional>
#include <string_view>

#include "src/engine_host/engine_loader.h"
#include "platform/platform.h"

namespace {

std::string Trimmed(std::string_view field) {
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!field.empty() && isBlank(field.front())) field.remove_prefix(1);
  while (!field.empty() && isBlank(field.back())) field.remove_suffix(1);
  return std::string(field);
}

// Cuts fields off the front of a record at commas; the last field takes what remains.
class FieldCutter {
 public:
  explicit FieldCutter(std::string_view rest) : rest_(rest) {}

  // The text before the next comma, trimmed; nothing when there is no further comma.
  std::optional<std::string> Next() {
    size_t comma = rest_.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    std::string field = Trimmed(rest_.substr(0, comma));
    rest_.remove_prefix(comma + 1);
    return field;
  }
  std::string Rest() const { return Trimmed(rest_); }

 private:
  std::string_view rest_;
};

void StoreVersions(Update& info, FieldCutter& fields) {
  auto product = fields.Next();
  if (!product) return;
  info.ProductName = *product;
  auto exe = fields.Next();
  if (!exe) return;
  info.ExeName = *exe;
  auto from = fields.Next();
  if (!from) return;
  ParseVersionStamp(info.FromVersion, *from);
  ParseVersionStamp(info.ToVersion, fields.Rest());
  info.Valid = true;
}

void StoreChecksum(Update& info, FieldCutter& fields) {
  auto file = fields.Next();
  auto value = fields.Next();
  auto length = fields.Next();
  if (!file || !value || !length) return;
  info.ChecksumFiles.push_back(*file);
  info.ChecksumValues.push_back(*value);
  info.ChecksumLengths.push_back(*length);
  info.ChecksumVersions.push_back(fields.Rest());
}

void StoreExpansion(Update& info, FieldCutter& fields) {
  auto name = fields.Next();
  auto id = fields.Next();
  auto version = fields.Next();
  if (!name || !id || !version) return;
  TitleCaseWords(*name);
  info.ExpansionNames.push_back(*name);
  info.ExpansionIds.push_back(*id);
  info.ExpansionVersions.push_back(*version);
  info.ExpansionExtensions.push_back(fields.Rest().substr(0, 3));
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
  std::string record = platform::AnsiLowerCase(engineText);
  if (!record.empty()) record.pop_back();  // the engine's extra final character

  enum class Kind { Expansion, Versions, Checksum, Registry };
  static constexpr std::pair<std::string_view, Kind> kKeywords[] = {
      {"expansion", Kind::Expansion},
      {"versions", Kind::Versions},
      {"checksum", Kind::Checksum},
      {"registry", Kind::Registry}};
  std::optional<Kind> kind;
  for (const auto& [keyword, k] : kKeywords) {
    if (record.starts_with(keyword)) {
      kind = k;
      break;
    }
  }
  size_t comma = record.find(',');
  if (!kind || comma == std::string::npos) return;

  FieldCutter fields(std::string_view(record).substr(comma + 1));
  switch (*kind) {
    case Kind::Versions: StoreVersions(info, fields); break;
    case Kind::Checksum: StoreChecksum(info, fields); break;
    case Kind::Expansion: StoreExpansion(info, fields); break;
    case Kind::Registry: info.RegistryKeys.push_back(fields.Rest()); break;
  }
}

const char* PATCHW32_CALL ListPassCallback(uint32_t messageId, void* parameter) {
  platform::ProcessPendingMessages();
  switch (engine_host::MessageKind(messageId)) {
    case engine_host::message::kError:
      platform::ShowMessageBox("Internal Update error, patch is possibly corrupt.", "Update Error");
      return engine_host::kStop;
    case engine_host::message::kNotice:
      return engine_host::kStop;
    case engine_host::message::kRecord:
      if (parameter) ParseDescriptionRecord(PatchInfo, static_cast<const char*>(parameter));
      return engine_host::kGoOn;
    default:
      return engine_host::DefaultReply(messageId);
  }
}

int32_t ReadPatchInfo() {
  std::string arguments = "\"" + platform::CurrentFolder() + "\" -i -l";
  int32_t result = engine_host::RunPatchEngine(arguments, ListPassCallback, 1);
  TitleCaseWords(PatchInfo.ProductName);
  PatchInfo.ShortName = ShortNameOf(PatchInfo.ProductName);
  return result;
}
