// Shows the sample form on the display, opens its menu from a real click on its button and shows
// an error box, saving a screenshot of each state: forms-form.png, forms-menu.png,
// forms-message.png in the folder given as the only argument. Run by scripts/forms-screenshots.sh.
#include <cstdio>
#include <string>

#include "forms/dialogs.h"
#include "forms/testing.h"
#include "gui_fixture.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder for the screenshots>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  bool saved_all = true;
  auto save = [&](const char* name) {
    const std::string path = folder + "/" + name;
    if (!forms::testing::SaveScreenshot(path)) {
      std::fprintf(stderr, "could not save %s\n", path.c_str());
      saved_all = false;
    }
  };

  forms::InitializeDisplay();
  auto form = formstest::TSampleForm::FromText(formstest::SampleFormText());
  form->on_go = [&] {
    forms::TBitBtn* go = form->Go();
    form->Menu()->Popup(go->ClientOrigin().x, go->ClientOrigin().y + go->Height());
    forms::MessageDlg(
        "ERROR Execute Program !\r\nProgram: /opt/app/VPAYWIN7.EXE\r\n"
        "Error 2: The system cannot find the file specified.",
        forms::TMsgDlgType::mtError, forms::mbOKOnly);
    form->Close();
  };
  forms::testing::ScopedPopupMenuResponder menu([&](const forms::testing::PopupMenuInfo&) {
    save("forms-menu.png");
    return nullptr;
  });
  forms::testing::ScopedMessageBoxResponder box([&](const forms::testing::MessageBoxInfo&) {
    save("forms-message.png");
    return forms::mrOk;
  });
  forms::testing::ScopedFormShownHook shown([&](forms::TForm&) {
    save("forms-form.png");
    const forms::TPoint origin = form->Go()->ClientOrigin();
    formstest::ClickAt(origin.x + 30, origin.y + 12);
  });
  form->ShowModal();
  return saved_all ? 0 : 1;
}
