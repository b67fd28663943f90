// Win32 backend of the file-open dialog: the common dialog, starting from the dialog's file name.
#include "platform/backend.h"

#include <windows.h>
#include <commdlg.h>

#include <vector>

namespace platform {

bool RunSystemOpenDialog(OpenDialog& dialog) {
  // The layouts' "description|pattern|..." becomes the dialog's zero-separated, doubly ended list.
  std::string filter = dialog.Filter;
  for (char& c : filter)
    if (c == '|') c = '\0';
  filter.append(2, '\0');
  std::vector<char> file(32768, '\0');
  dialog.FileName.copy(file.data(), file.size() - 1);

  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = dialog.Filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrTitle = dialog.Title.empty() ? nullptr : dialog.Title.c_str();
  ofn.lpstrDefExt = dialog.DefaultExt.empty() ? nullptr : dialog.DefaultExt.c_str();
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!GetOpenFileNameA(&ofn)) return false;
  dialog.FileName = file.data();
  return true;
}

}  // namespace platform
