// Forms from form text, on a real display: properties, geometry, showing, modal results, keys.

#include <stdexcept>

#include "forms/testing.h"
#include "gui_fixture.h"
#include "vcl/form_file.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace formstest {
namespace {

using forms::TModalResult;

class FormTest : public GuiTest {};

TEST_F(FormTest, ReadsEveryControlWithItsPropertiesFromTheFormText) {
  auto form = TSampleForm::FromText(SampleFormText());
  EXPECT_EQ(form->Name(), "SampleForm");
  EXPECT_EQ(form->Caption(), "Sample Form");
  EXPECT_EQ(form->ClientWidth(), 538);
  EXPECT_EQ(form->ClientHeight(), 205);
  EXPECT_EQ(form->Color(), forms::clTeal);
  EXPECT_EQ(form->BorderStyle(), forms::TFormBorderStyle::bsDialog);
  EXPECT_EQ(form->Position(), forms::TPosition::poScreenCenter);
  EXPECT_EQ(form->Font()->Name(), "Arial");
  EXPECT_EQ(form->Font()->Height(), -11);

  forms::TLabel* title = form->Title();
  EXPECT_EQ(title->Parent(), form.get());
  EXPECT_EQ(title->Left(), 8);
  EXPECT_EQ(title->Top(), 16);
  EXPECT_FALSE(title->ParentFont());
  EXPECT_EQ(title->Font()->Color(), forms::clLime);
  EXPECT_TRUE(title->Font()->Style().Contains(forms::TFontStyle::fsBold));
  EXPECT_TRUE(title->ParentColor());
  EXPECT_EQ(title->Color(), forms::clTeal);
  // Auto-sized to its text: one line of a 21 pixel bold face.
  EXPECT_GT(title->Width(), 150);
  EXPECT_LT(title->Width(), 320);
  EXPECT_GE(title->Height(), 21);
  EXPECT_LE(title->Height(), 30);

  forms::TLabel* info = form->Info();
  EXPECT_TRUE(info->Transparent());
  EXPECT_TRUE(info->WordWrap());
  EXPECT_EQ(info->Caption(),
            "Click on DOWNLOAD to begin software update via internet. Password might be required "
            "during installation .");
  EXPECT_EQ(info->Width(), 520);  // word wrap keeps the width and fits the height
  EXPECT_GE(info->Height(), 11);
  EXPECT_LE(info->Height(), 32);

  forms::TPanel* notice = form->Notice();
  EXPECT_EQ(notice->BoundsRect(), (forms::TRect{8, 48, 521, 17}));
  EXPECT_EQ(notice->BevelOuter(), forms::TBevelCut::bvNone);
  EXPECT_EQ(notice->Color(), forms::clAqua);
  EXPECT_EQ(notice->TabOrder(), 3);
  EXPECT_EQ(notice->Caption(), "Kindly request ALL USERS to exit program !");

  forms::TBitBtn* go = form->Go();
  EXPECT_EQ(go->BoundsRect(), (forms::TRect{8, 160, 89, 27}));
  EXPECT_EQ(go->Caption(), "&Download");
  EXPECT_EQ(go->Margin(), 4);
  EXPECT_EQ(go->NumGlyphs(), 2);
  EXPECT_EQ(go->Glyph()->Width(), 36);
  EXPECT_EQ(go->Glyph()->Height(), 18);
  EXPECT_EQ(go->OnClick.HandlerName(), "GoClick");
  EXPECT_TRUE(go->ParentFont());
  EXPECT_EQ(go->Font()->Name(), "Arial");  // from the form
  EXPECT_FALSE(form->Halt()->Enabled());
  EXPECT_TRUE(form->Quit()->Cancel());

  forms::TPopupMenu* menu = form->Menu();
  ASSERT_EQ(menu->Items()->Count(), 3);
  EXPECT_EQ(menu->Items()->Items(0), form->First());
  EXPECT_TRUE(menu->Items()->Items(1)->IsLine());
  EXPECT_EQ(menu->DesignLeft(), 200);

  // What the writer saves reads back to the same form.
  const std::string written = vcl::WriteForm(*form);
  auto again = TSampleForm::FromText(written);
  EXPECT_EQ(vcl::WriteForm(*again), written);
  EXPECT_EQ(again->Go()->Glyph()->Bmp(), GlyphPair());
  EXPECT_EQ(again->Menu()->Items()->Count(), 3);
}

TEST_F(FormTest, GlyphAndCaptionArePlacedByMarginAndLayout) {
  auto form = TSampleForm::FromText(SampleFormText());
  forms::TBitBtn* go = form->Go();
  forms::TBitBtn::Placement p = go->ComputePlacement();
  EXPECT_EQ(p.glyph, (forms::TRect{4, 5, 18, 18}));  // 4 from the left, centred vertically
  EXPECT_EQ(p.caption.left, 4 + 18 + 4);             // Spacing 4 after the glyph

  // Margin -1: glyph and caption centred together.
  go->SetMargin(-1);
  p = go->ComputePlacement();
  const int total = 18 + 4 + p.caption.width;
  EXPECT_NEAR(p.glyph.left, (89 - total) / 2, 1);
  // Glyph above the caption.
  go->SetLayout(forms::TButtonLayout::blGlyphTop);
  p = go->ComputePlacement();
  EXPECT_EQ(p.glyph.left, (89 - 18 + 1) / 2);
  EXPECT_LT(p.glyph.top, p.caption.top);
}

TEST_F(FormTest, ShowsCentredWithFixedFrameAndControlsAtTheirScreenPoints) {
  auto form = TSampleForm::FromText(SampleFormText());
  form->ShowForm();
  ASSERT_TRUE(PumpUntil([&] { return form->Painted(); }));
  const forms::TRect screen = forms::ScreenWorkArea();
  EXPECT_EQ(form->Left(), screen.left + (screen.width - 538) / 2);
  EXPECT_EQ(form->Top(), screen.top + (screen.height - 205) / 2);
  EXPECT_EQ(form->Window()->w(), 538);
  EXPECT_EQ(form->Window()->h(), 205);
  EXPECT_STREQ(form->Window()->label(), "Sample Form");
  EXPECT_EQ(form->Go()->ClientOrigin(), (forms::TPoint{form->Left() + 8, form->Top() + 160}));

  // The frame the window manager is asked for: move and close only.
  const Atom hints_atom = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  ASSERT_EQ(XGetWindowProperty(fl_display, form->XWindowId(), hints_atom, 0, 5, False,
                               AnyPropertyType, &type, &format, &count, &after, &data),
            Success);
  ASSERT_EQ(count, 5u);
  const auto* hints = reinterpret_cast<const unsigned long*>(data);
  EXPECT_EQ(hints[1], 4u | 32u);  // functions: move, close
  XFree(data);

  // The first control in tab order that can take the focus has it (Halt is disabled).
  EXPECT_EQ(form->ActiveControl(), form->Go());
}

TEST_F(FormTest, ModalShowEndsWithTheResultOfAButtonTheCloseBoxOrClose) {
  struct Case {
    const char* name;
    std::function<void(TSampleForm&)> act;
    TModalResult expected;
  };
  const Case cases[] = {
      {"button with a modal result",
       [](TSampleForm& f) {
         f.Go()->SetModalResult(forms::mrOk);
         f.Go()->Widget()->do_callback();
       },
       forms::mrOk},
      {"close box",
       [](TSampleForm& f) {
         Fl::e_number = FL_CLOSE;
         f.Window()->do_callback();
       },
       forms::mrCancel},
      {"Cancel button calling Close", [](TSampleForm& f) { f.Quit()->Widget()->do_callback(); },
       forms::mrCancel},
      {"SetModalResult", [](TSampleForm& f) { f.SetModalResult(forms::mrNo); }, forms::mrNo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto form = TSampleForm::FromText(SampleFormText());
    int shown = 0;
    forms::testing::ScopedFormShownHook hook([&](forms::TForm& f) {
      ++shown;
      EXPECT_TRUE(f.Modal());
      c.act(static_cast<TSampleForm&>(f));
    });
    EXPECT_EQ(form->ShowModal(), c.expected);
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(form->Window()->visible());
    EXPECT_FALSE(form->Modal());
  }
}

TEST_F(FormTest, HandlerExceptionLeavesTheModalShowAndTheFormCanBeShownAgain) {
  auto form = TSampleForm::FromText(SampleFormText());
  form->on_go = [] { throw std::runtime_error("handler failed"); };
  {
    forms::testing::ScopedFormShownHook hook(
        [](forms::TForm& f) { static_cast<TSampleForm&>(f).Go()->Widget()->do_callback(); });
    EXPECT_THROW(form->ShowModal(), std::runtime_error);
  }
  EXPECT_FALSE(form->Window()->visible());
  forms::testing::ScopedFormShownHook hook([](forms::TForm& f) { f.Close(); });
  EXPECT_EQ(form->ShowModal(), forms::mrCancel);
  EXPECT_EQ(form->calls, (std::vector<std::string>{"GoClick"}));
}

TEST_F(FormTest, ShowModalOnAShownFormIsRefused) {
  auto form = TSampleForm::FromText(SampleFormText());
  form->ShowForm();
  EXPECT_THROW(form->ShowModal(), forms::EInvalidOperation);
  form->Close();
  EXPECT_FALSE(form->Window()->visible());
}

// Keys as the user types them, delivered by FLTK to the form's window.
void Type(forms::TForm& form, int key, int state = 0) {
  Fl::e_keysym = key;
  Fl::e_state = state;
  Fl::e_text = const_cast<char*>("");
  Fl::e_length = 0;
  Fl::handle(FL_KEYBOARD, form.Window());
}

TEST_F(FormTest, TabFollowsTabOrderAndEscapeClicksTheCancelButton) {
  auto form = TSampleForm::FromText(SampleFormText());
  forms::testing::ScopedFormShownHook hook([](forms::TForm& f) {
    auto& sample = static_cast<TSampleForm&>(f);
    EXPECT_EQ(f.ActiveControl(), sample.Go());
    Type(f, FL_Tab);
    EXPECT_EQ(f.ActiveControl(), sample.Quit());
    Type(f, FL_Tab);  // the disabled Halt is skipped: round to Go
    EXPECT_EQ(f.ActiveControl(), sample.Go());
    Type(f, FL_Tab, FL_SHIFT);
    EXPECT_EQ(f.ActiveControl(), sample.Quit());
    sample.Halt()->SetEnabled(true);
    Type(f, FL_Tab);  // Halt has tab order 0: after Quit comes Halt
    EXPECT_EQ(f.ActiveControl(), sample.Halt());
    Type(f, FL_Escape);
  });
  EXPECT_EQ(form->ShowModal(), forms::mrCancel);
  EXPECT_EQ(form->calls, (std::vector<std::string>{"QuitClick"}));
}

TEST_F(FormTest, AutoSizedLabelsFollowTheirCaption) {
  auto form = TSampleForm::FromText(SampleFormText());
  forms::TLabel* info = form->Info();
  const int one_line = info->Height();
  info->SetCaption("Downloading host/downloads/x.exe\r\n12 KB\r\nTo /tmp/x.exe");
  EXPECT_EQ(info->Width(), 520);
  EXPECT_GE(info->Height(), 3 * 11);
  EXPECT_GT(info->Height(), one_line);

  forms::TLabel* title = form->Title();
  const int width = title->Width();
  title->SetCaption(title->Caption() + " and more");
  EXPECT_GT(title->Width(), width);
  title->SetAutoSize(false);
  title->SetCaption("x");
  EXPECT_GT(title->Width(), width);  // kept
}

TEST_F(FormTest, ParentFontAndColourFollowTheParentUntilSetOwnValues) {
  auto form = TSampleForm::FromText(SampleFormText());
  form->Font()->SetHeight(-13);
  EXPECT_EQ(form->Go()->Font()->Height(), -13);     // follows
  EXPECT_EQ(form->Title()->Font()->Height(), -21);  // its own
  form->SetColor(forms::clNavy);
  EXPECT_EQ(form->Title()->Color(), forms::clNavy);  // ParentColor
  EXPECT_EQ(form->Notice()->Color(), forms::clAqua);
  form->Go()->Font()->SetColor(forms::clRed);
  EXPECT_FALSE(form->Go()->ParentFont());
  form->Font()->SetHeight(-11);
  EXPECT_EQ(form->Go()->Font()->Height(), -13);
}

TEST_F(FormTest, FreeingAParentBeforeItsChildrenIsSafe) {
  auto form = TSampleForm::FromText(SampleFormText());
  auto* panel = new forms::TPanel(form.get());
  panel->SetParent(form.get());
  auto* label = new forms::TLabel(form.get());
  label->SetParent(panel);
  label->SetCaption("inside");
  form->ShowForm();
  ASSERT_TRUE(PumpUntil([&] { return form->Painted(); }));
  vcl::Free(panel);
  EXPECT_EQ(label->Parent(), nullptr);
  label->SetCaption("still alive");
  EXPECT_THROW(form->Notice()->SetParent(form->Notice()), vcl::EConvertError);
}

}  // namespace
}  // namespace formstest
