// Message boxes on a real display, answered through the layer's seam once they are on screen.

#include <stdexcept>

#include "forms/dialogs.h"
#include "forms/testing.h"
#include "gui_fixture.h"

#include <FL/x.H>

namespace formstest {
namespace {

using forms::TModalResult;
using forms::TMsgDlgType;
using forms::testing::MessageBoxInfo;
using forms::testing::ScopedMessageBoxResponder;

class MessageBoxTest : public GuiTest {};

bool OnScreen(unsigned long window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(fl_display, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

TEST_F(MessageBoxTest, KindsCaptionsButtonsLinesAndAnswers) {
  struct Case {
    const char* text;
    TMsgDlgType type;
    forms::TMsgDlgButtons buttons;
    TModalResult answer;
    const char* caption;
    std::vector<std::string> captions;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"ERROR Download !",
       TMsgDlgType::mtError,
       forms::mbOKOnly,
       forms::mrOk,
       "Error",
       {"OK"},
       {"ERROR Download !"}},
      {"ERROR Execute Program !\r\nProgram: /tmp/x y.exe\r\nError 2: The system cannot find the "
       "file specified.",
       TMsgDlgType::mtError,
       forms::mbOKOnly,
       forms::mrOk,
       "Error",
       {"OK"},
       {"ERROR Execute Program !", "Program: /tmp/x y.exe",
        "Error 2: The system cannot find the file specified."}},
      {"OPEN File /tmp/VPAYWIN7.EXE ?",
       TMsgDlgType::mtConfirmation,
       forms::mbYesNo,
       forms::mrYes,
       "Confirm",
       {"&Yes", "&No"},
       {"OPEN File /tmp/VPAYWIN7.EXE ?"}},
      {"DELETE File X ?",
       TMsgDlgType::mtConfirmation,
       forms::mbYesNo,
       forms::mrNo,
       "Confirm",
       {"&Yes", "&No"},
       {"DELETE File X ?"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int asked = 0;
    ScopedMessageBoxResponder responder([&](const MessageBoxInfo& info) {
      ++asked;
      EXPECT_EQ(info.type, c.type);
      EXPECT_EQ(info.caption, c.caption);
      EXPECT_EQ(info.text, c.text);
      EXPECT_EQ(info.lines, c.lines);
      EXPECT_EQ(info.button_captions, c.captions);
      EXPECT_TRUE(info.has_icon);
      EXPECT_TRUE(OnScreen(info.x_window)) << "the box is a real window on screen";
      // Centred on the screen.
      const forms::TRect screen = forms::ScreenWorkArea();
      EXPECT_NEAR(info.bounds.left + info.bounds.width / 2, screen.width / 2, 2);
      EXPECT_NEAR(info.bounds.top + info.bounds.height / 2, screen.height / 2, 2);
      return c.answer;
    });
    EXPECT_EQ(forms::MessageDlg(c.text, c.type, c.buttons), c.answer);
    EXPECT_EQ(asked, 1);
  }
}

TEST_F(MessageBoxTest, LongTextWrapsWithinHalfTheScreen) {
  const std::string words = [] {
    std::string t;
    for (int i = 0; i < 80; ++i) t += "word ";
    return t;
  }();
  ScopedMessageBoxResponder responder([&](const MessageBoxInfo& info) {
    EXPECT_LE(info.bounds.width, forms::ScreenWorkArea().width / 2 + 120);
    return forms::mrOk;
  });
  EXPECT_EQ(forms::MessageDlg(words, TMsgDlgType::mtError, forms::mbOKOnly), forms::mrOk);
}

TEST_F(MessageBoxTest, AnAnswerTheBoxDoesNotOfferIsAnErrorAndClosesTheBox) {
  unsigned long window = 0;
  ScopedMessageBoxResponder responder([&](const MessageBoxInfo& info) {
    window = info.x_window;
    return forms::mrCancel;
  });
  EXPECT_THROW(forms::MessageDlg("Question ?", TMsgDlgType::mtConfirmation, forms::mbYesNo),
               std::invalid_argument);
  ASSERT_NE(window, 0u);
  EXPECT_EQ(fl_find(window), nullptr) << "the box is gone";
}

TEST_F(MessageBoxTest, BoxesNestInsideAModalForm) {
  auto form = TSampleForm::FromText(SampleFormText());
  TModalResult inner = forms::mrNone;
  form->on_go = [&] {
    inner = forms::MessageDlg("Inner ?", TMsgDlgType::mtConfirmation, forms::mbYesNo);
    form->Close();
  };
  ScopedMessageBoxResponder responder([](const MessageBoxInfo&) { return forms::mrYes; });
  forms::testing::ScopedFormShownHook hook(
      [](forms::TForm& f) { static_cast<TSampleForm&>(f).Go()->Widget()->do_callback(); });
  EXPECT_EQ(form->ShowModal(), forms::mrCancel);
  EXPECT_EQ(inner, forms::mrYes);
}

}  // namespace
}  // namespace formstest
