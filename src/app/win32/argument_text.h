// The argument text of a Windows command line.
#pragma once

#include <string>

// What follows the program's own path (quoted or not) and the blanks after it.
std::string ArgumentText(const std::string& commandLine);
