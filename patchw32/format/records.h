// The description records' grammar, shared by the program, the engine and the builder: a keyword
// that names the record's kind, then fields cut at commas, each trimmed. What each reader keeps of
// a record, and what it does with a short one, is that reader's own affair.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace payload {

enum class RecordKind { Unknown, Versions, Checksum, Expansion, Registry };

// The kind named by the keyword the record starts with, in any letter case. Nothing after the
// keyword is looked at: "Versions and more,..." is a versions record, " versions,..." is none.
RecordKind KindOfRecord(std::string_view record);

// The text without the codes 0 to 32 (blanks, tabs, line ends, other controls) at either end.
std::string_view TrimmedField(std::string_view text);

// Cuts a record's fields off its front at commas; the first field is the keyword's.
class RecordFields {
 public:
  explicit RecordFields(std::string_view record) : rest_(record) {}

  // The next field, trimmed, when a comma ends it; nothing, and no change, when no comma is left.
  std::optional<std::string_view> Next();
  // All that is left, trimmed: the last field, commas and all.
  std::string_view Rest() const { return TrimmedField(rest_); }

 private:
  std::string_view rest_;
};

// Field `index` of the record (0 is the keyword's), between the commas around it and trimmed; the
// text after the last comma counts as a field. Nothing when the record has no such field.
std::optional<std::string_view> RecordField(std::string_view record, size_t index);

// An expansion record's extension: all that follows its fourth comma, trimmed, cut to its first
// three characters (the program keeps no more); empty when the record has fewer commas.
std::string_view ExpansionExtension(std::string_view record);

// The extensions that the expansion records among `records` name, ASCII lower case, empty ones
// left out: how the engine and the builder tell an expansion file by its name.
std::vector<std::string> ExpansionExtensionsOf(const std::vector<std::string>& records);

}  // namespace payload
