// The update run: from the opening lines to the OK button, once per program run.
#pragma once

#include <cstdint>
#include <string>

class TForm1;

// The progress window's activation handler: one whole update run.
void RunUpdate(TForm1& form);

// 1234567 -> "1,234,567"; -1 -> "-1".
std::string FormatThousands(int64_t value);
