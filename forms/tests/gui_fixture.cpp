#include "gui_fixture.h"

#include <cstdlib>

#include "kernel/thread.h"
#include "user/message_wait.h"
#include "vcl/application.h"
#include "vcl/form_file.h"

namespace formstest {

const vcl::ClassInfo& TSampleForm::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TSampleForm, forms::TForm>("TSampleForm", [](auto& t) {
        t.Method("GoClick", &TSampleForm::GoClick);
        t.Method("QuitClick", &TSampleForm::QuitClick);
        t.Method("FirstClick", &TSampleForm::FirstClick);
        t.Method("LastClick", &TSampleForm::LastClick);
      });
  return info;
}

vcl::ComponentPtr<TSampleForm> TSampleForm::FromText(const std::string& text) {
  auto form = vcl::MakeComponent<TSampleForm>();
  vcl::ReadForm(*form, text);
  return form;
}

template <typename T>
T* Find(const TSampleForm& form, const char* name) {
  auto* found = dynamic_cast<T*>(form.FindComponent(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

forms::TLabel* TSampleForm::Title() const {
  return Find<forms::TLabel>(*this, "Title");
}
forms::TLabel* TSampleForm::Info() const {
  return Find<forms::TLabel>(*this, "Info");
}
forms::TPanel* TSampleForm::Notice() const {
  return Find<forms::TPanel>(*this, "Notice");
}
forms::TBitBtn* TSampleForm::Go() const {
  return Find<forms::TBitBtn>(*this, "Go");
}
forms::TBitBtn* TSampleForm::Halt() const {
  return Find<forms::TBitBtn>(*this, "Halt");
}
forms::TBitBtn* TSampleForm::Quit() const {
  return Find<forms::TBitBtn>(*this, "Quit");
}
forms::TPopupMenu* TSampleForm::Menu() const {
  return Find<forms::TPopupMenu>(*this, "Menu");
}
forms::TMenuItem* TSampleForm::First() const {
  return Find<forms::TMenuItem>(*this, "First");
}
forms::TMenuItem* TSampleForm::Last() const {
  return Find<forms::TMenuItem>(*this, "Last");
}

void TSampleForm::GoClick(vcl::TObject*) {
  calls.push_back("GoClick");
  if (on_go) on_go();
}

void TSampleForm::QuitClick(vcl::TObject*) {
  calls.push_back("QuitClick");
  Close();
}

void TSampleForm::FirstClick(vcl::TObject*) {
  calls.push_back("FirstClick");
  if (on_first) on_first();
}

void TSampleForm::LastClick(vcl::TObject*) {
  calls.push_back("LastClick");
}

std::vector<std::uint8_t> GlyphPair() {
  const forms::RGB olive{128, 128, 0};  // transparent
  const forms::RGB green{0, 128, 0};
  const forms::RGB lime{0, 255, 0};
  const forms::RGB gray{128, 128, 128};
  const forms::RGB silver{192, 192, 192};
  const forms::RGB palette[] = {olive, green, lime, gray, silver};
  std::vector<forms::RGB> pixels(36 * 18, olive);
  for (int half = 0; half < 2; ++half) {
    const forms::RGB edge = half == 0 ? green : gray;
    const forms::RGB fill = half == 0 ? lime : silver;
    auto put = [&](int x, int y, forms::RGB c) { pixels[y * 36 + half * 18 + x] = c; };
    for (int y = 2; y < 10; ++y) {  // the shaft
      for (int x = 7; x <= 10; ++x) put(x, y, x == 7 || x == 10 ? edge : fill);
    }
    for (int row = 0; row < 7; ++row) {  // the head, pointing down
      const int y = 10 + row;
      for (int x = 2 + row; x <= 15 - row; ++x) {
        put(x, y, x == 2 + row || x == 15 - row || row == 6 ? edge : fill);
      }
    }
  }
  return forms::EncodeBmp4(36, 18, palette, pixels);
}

namespace {

std::string FormHex(const std::vector<std::uint8_t>& bmp) {
  std::vector<std::uint8_t> data(4);
  const auto size = static_cast<std::uint32_t>(bmp.size());
  for (int i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(size >> (8 * i));
  data.insert(data.end(), bmp.begin(), bmp.end());
  static const char* digits = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i % 32 == 0) hex += "\n      ";
    hex += digits[data[i] >> 4];
    hex += digits[data[i] & 15];
  }
  return hex;
}

}  // namespace

std::string SampleFormText() {
  const std::string glyph = FormHex(GlyphPair());
  return R"(object SampleForm: TSampleForm
  Left = 192
  Top = 107
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'Sample Form'
  ClientHeight = 205
  ClientWidth = 538
  Color = clTeal
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clBlack
  Font.Height = -11
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  PixelsPerInch = 96
  TextHeight = 14
  object Title: TLabel
    Left = 8
    Top = 16
    Width = 249
    Height = 24
    Caption = 'Tavelo - ONLINE Update'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clLime
    Font.Height = -21
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    ParentFont = False
  end
  object Info: TLabel
    Left = 8
    Top = 96
    Width = 520
    Height = 28
    Caption = 
      'Click on DOWNLOAD to begin software update via internet. Password ' +
      'might be required during installation .'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWhite
    Font.Height = -11
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    ParentFont = False
    Transparent = True
    WordWrap = True
  end
  object Notice: TPanel
    Left = 8
    Top = 48
    Width = 521
    Height = 17
    BevelOuter = bvNone
    Caption = 'Kindly request ALL USERS to exit program !'
    Color = clAqua
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clBlack
    Font.Height = -11
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    ParentFont = False
    TabOrder = 3
  end
  object Halt: TBitBtn
    Left = 440
    Top = 160
    Width = 89
    Height = 27
    Caption = 'Stop'
    Enabled = False
    TabOrder = 0
  end
  object Go: TBitBtn
    Left = 8
    Top = 160
    Width = 89
    Height = 27
    Caption = '&Download'
    TabOrder = 1
    OnClick = GoClick
    Glyph.Data = {)" +
         glyph + R"(}
    Margin = 4
    NumGlyphs = 2
  end
  object Quit: TBitBtn
    Left = 104
    Top = 160
    Width = 89
    Height = 27
    Cancel = True
    Caption = '&Cancel'
    TabOrder = 2
    OnClick = QuitClick
  end
  object Menu: TPopupMenu
    Left = 200
    Top = 65
    object First: TMenuItem
      Caption = 'Download VESTRA PAY for Windows'
      OnClick = FirstClick
    end
    object Line: TMenuItem
      Caption = '-'
    end
    object Last: TMenuItem
      Caption = 'Explore Download Folder...'
      OnClick = LastClick
    end
  end
end
)";
}

void ClickAt(int x, int y) {
  const std::string command =
      "xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y) + " click 1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace formstest
