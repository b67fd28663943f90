// What each backend provides besides the public headers: the system's own message box and
// file-open dialog, which message_hooks.cpp falls back on when no front end installed its own.
#pragma once

#include <string>

#include "platform/desktop.h"

namespace platform {

// MessageBox on Windows; a "caption: text" line on stderr on posix.
void ShowSystemMessageBox(const std::string& text, const std::string& caption);
// The common file-open dialog on Windows; a path read from stdin on posix.
bool RunSystemOpenDialog(OpenDialog& dialog);

}  // namespace platform
