// File names compared as Windows compares them: letters A to Z the same as a to z, every other
// byte as it is. One folding for the engine, the builder and the program.
#pragma once

#include <string>
#include <string_view>

namespace payload {

// The name with A to Z lowered; other bytes, those above 127 included, unchanged.
std::string FoldName(std::string_view name);

// Whether the two are the same name without regard to ASCII case.
bool SameName(std::string_view a, std::string_view b);

// Whether `text` ends in `suffix` without regard to ASCII case (a text equal to it does).
bool EndsWithName(std::string_view text, std::string_view suffix);

// The extension of a '/'-separated path's last component, folded: what follows its last dot;
// empty when the component has no dot.
std::string FoldedExtension(std::string_view path);

}  // namespace payload
