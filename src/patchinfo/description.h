// The description records as the program reads them, and the names derived from ProductName.
#pragma once

#include <string>

#include "src/patchinfo/patch_info.h"

// Upper-cases a to z at the start of the text and after each blank; nothing else changes.
void TitleCaseWords(std::string& text);

// The part of the product name before its first ':', else before its first blank, else all of it.
std::string ShortNameOf(const std::string& productName);

// Stores one description record (as the engine sends it, with its extra final character) in info.
void ParseDescriptionRecord(Update& info, const std::string& engineText);
