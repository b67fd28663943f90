// A version text and the numbers read from it; versions are compared by their texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct Version {
  std::string Text;
  int32_t FieldCount = 0;
  std::array<int32_t, 4> Numbers{};
  bool Valid = false;
};

// Sets target's Text and reads up to four numbers as sscanf("%d.%d.%d.%d") does; FieldCount is
// the count converted, or -1 when the text ends (or is only white space) before the first.
// Numbers not converted keep their values. Valid becomes true whatever was converted.
void ParseVersionStamp(Version& target, const std::string& text);
