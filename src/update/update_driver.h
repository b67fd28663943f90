// The update run: from the opening lines to the OK button, once per program run.
#pragma once

#include <cstdint>
#include <string>

#include "src/update/run_window.h"

namespace update {

// One whole update run, reported to the window: the progress window's activation runs it.
void RunUpdate(RunWindow& window);

// 1234567 -> "1,234,567"; -1 -> "-1".
std::string FormatThousands(int64_t value);

}  // namespace update
