// The welcome dialog's text follows from PatchInfo: no versions record, folder found, or not.
#include "src/app/welcome_dialog.h"

#include <exception>

#include "src/detect/locator.h"
#include "src/patchinfo/patch_info.h"
#include "src/strings/string_table.h"

TForm2* Form2 = nullptr;

template <typename Handler>
void TForm2::Guarded(Handler handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    if (view_) view_->ErrorBox(error.what());
  }
  if (view_) view_->Changed();
}

void TForm2::FormActivate() {
  Guarded([this] { UpdateWelcomeText(); });
}

void TForm2::UpdateWelcomeText() {
  if (!PatchInfo.Valid) {
    Label1 = LoadAppString(15);
    Button1Visible = false;
    Button2Left = (OuterWidth - kButtonWidth) / 2;
    return;
  }
  LocateInstallation();
  if (!PatchInfo.InstallPath.empty()) {
    Button3Visible = true;
    Label1 = FormatText(LoadAppString(18), PatchInfo.ShortName.c_str(), PatchInfo.InstallPath.c_str(),
                        PatchInfo.FromVersion.Text.c_str(), PatchInfo.ToVersion.Text.c_str());
  } else {
    Label1 = FormatText(LoadAppString(8), PatchInfo.ShortName.c_str(), PatchInfo.FromVersion.Text.c_str(),
                        PatchInfo.ToVersion.Text.c_str());
  }
}

void TForm2::Button1Click() {
  if (view_) view_->ShowProgressWindow();
}

void TForm2::Button2Click() {
  if (view_) view_->CloseMainForm();
}

void TForm2::Button3Click() {
  Guarded([this] {
    ChooseInstallFolder(OpenDialog1);
    UpdateWelcomeText();
  });
}
