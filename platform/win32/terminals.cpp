// Win32 backend: whether the standard streams are terminals (consoles).
#include <io.h>

#include <cstdio>

#include "platform/files.h"

namespace platform {

bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
bool StandardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace platform
