// Posix backend: the system's code page is UTF-8, so texts lower-case by character.
#include "platform/files.h"
#include "platform/posix/utf8_case.h"

namespace platform {

std::string AnsiLowerCase(std::string text) { return posix::LowerCaseUtf8(text); }

}  // namespace platform
