// The program's modal boxes: error boxes titled with the application title, warning dialogs.
#pragma once

#include <windows.h>

#include <string>

void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

// An error box: error icon, one OK button, titled with the application title. Like every error
// message of the framework, the text is shown ending with a period.
void ShowErrorBox(HWND owner, std::string text);

// A message dialog of warning type: titled "Warning", one OK button.
void ShowWarningDialog(HWND owner, const std::string& text);
