// Popup menus on a real display: where they open, what the user picks, and the real click path.

#include <stdexcept>

#include "forms/testing.h"
#include "gui_fixture.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

namespace formstest {
namespace {

using forms::testing::PopupMenuInfo;
using forms::testing::ScopedPopupMenuResponder;

class MenuTest : public GuiTest {};

TEST_F(MenuTest, OpensWithItsCornerAtTheScreenPointAndRunsTheChosenItem) {
  auto form = TSampleForm::FromText(SampleFormText());
  struct Case {
    forms::TPoint at;
    forms::TMenuItem* choice;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {{300, 400}, form->Last(), {"LastClick"}},
      {{17, 33}, form->First(), {"FirstClick"}},
      {{640, 500}, nullptr, {}},  // closed without a choice
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at.x);
    form->calls.clear();
    PopupMenuInfo seen;
    ScopedPopupMenuResponder responder([&](const PopupMenuInfo& info) {
      seen = info;
      return c.choice;
    });
    form->Menu()->Popup(c.at.x, c.at.y);
    EXPECT_EQ(seen.menu, form->Menu());
    EXPECT_EQ(seen.requested, c.at);
    EXPECT_EQ(seen.bounds.left, c.at.x);
    EXPECT_EQ(seen.bounds.top, c.at.y);
    EXPECT_GT(seen.bounds.width, 100);
    EXPECT_NE(seen.x_window, 0u);
    EXPECT_EQ(seen.entries, (std::vector<forms::TMenuItem*>{form->First(), form->Last()}));
    EXPECT_EQ(form->calls, c.calls);
    EXPECT_EQ(form->Menu()->LastChoice(), c.choice);
    EXPECT_EQ(form->Menu()->PopupPoint(), c.at);
  }
}

TEST_F(MenuTest, DisabledAndHiddenItemsCannotBeChosen) {
  auto form = TSampleForm::FromText(SampleFormText());
  form->First()->SetEnabled(false);
  ScopedPopupMenuResponder responder([&](const PopupMenuInfo& info) {
    EXPECT_EQ(info.entries, (std::vector<forms::TMenuItem*>{form->Last()}));
    return form->First();
  });
  EXPECT_THROW(form->Menu()->Popup(100, 100), std::invalid_argument);
  EXPECT_TRUE(form->calls.empty());
}

TEST_F(MenuTest, MenuOpenedFromAButtonClickLandsBelowTheButtonWhereverTheFormStands) {
  // The click is real X input, so FLTK's "last event" is the form's window, which stands away
  // from the screen's origin: the menu must still open at the screen point asked for.
  for (const forms::TPoint& where : {forms::TPoint{40, 30}, forms::TPoint{700, 600}}) {
    SCOPED_TRACE(where.x);
    auto form = TSampleForm::FromText(SampleFormText());
    form->SetPosition(forms::TPosition::poDesigned);
    form->SetBounds(where.x, where.y, form->Width(), form->Height());
    forms::TPoint expected;
    PopupMenuInfo seen;
    form->on_go = [&] {
      forms::TBitBtn* go = form->Go();
      expected = forms::TPoint{go->ClientOrigin().x, go->ClientOrigin().y + go->Height()};
      form->Menu()->Popup(expected.x, expected.y);
    };
    form->on_first = [&] { form->SetModalResult(forms::mrOk); };
    ScopedPopupMenuResponder responder([&](const PopupMenuInfo& info) {
      seen = info;
      return form->First();
    });
    forms::testing::ScopedFormShownHook hook([&](forms::TForm&) {
      const forms::TPoint origin = form->Go()->ClientOrigin();
      ClickAt(origin.x + 20, origin.y + 10);
    });
    EXPECT_EQ(form->ShowModal(), forms::mrOk);
    EXPECT_EQ(expected, (forms::TPoint{where.x + 8, where.y + 160 + 27}));
    EXPECT_EQ(seen.bounds.left, expected.x);
    EXPECT_EQ(seen.bounds.top, expected.y);
    EXPECT_EQ(form->calls, (std::vector<std::string>{"GoClick", "FirstClick"}));
  }
}

}  // namespace
}  // namespace formstest
