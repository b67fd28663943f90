// Reading the patch description: the listing pass and its record parser.
#pragma once

#include <cstdint>
#include <string>

#include "src/engine_host/engine_contract.h"
#include "src/patchinfo/patch_info.h"

// Upper-cases a to z at the start of the text and after each blank; nothing else changes.
void TitleCaseWords(std::string& text);

// The part of the product name before its first ':', else before its first blank, else all of it.
std::string ShortNameOf(const std::string& productName);

// Stores one description record (as the engine sends it, with its extra final character) in info.
void ParseDescriptionRecord(Update& info, const std::string& engineText);

// The listing pass's engine callback: fills PatchInfo.
const char* PATCHW32_CALL ListPassCallback(uint32_t messageId, void* parameter);

// Runs the listing pass over the current folder, title-cases ProductName and derives ShortName.
// Returns the engine's result: 0 on success.
int32_t ReadPatchInfo();
