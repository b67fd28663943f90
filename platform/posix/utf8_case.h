// Posix backend: the system's texts are UTF-8. Lower-casing goes by character (Latin, Greek and
// Cyrillic letters), never splits one, and leaves bytes that are not UTF-8 as they are, so a name
// written in another code page still compares with itself.
#pragma once

#include <string>
#include <string_view>

namespace platform::posix {

std::string LowerCaseUtf8(std::string_view text);

// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, char32_t code);

// The length of the character that starts at text[at] (1 for a byte that starts none).
size_t CharacterLength(std::string_view text, size_t at);

}  // namespace platform::posix
