// Shared pieces of the GUI tests: a sample form class with a label, a panel, buttons with glyphs
// and a popup menu, its form text, and waiting inside the real message loop.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "forms/buttons.h"
#include "forms/display.h"
#include "forms/ext_ctrls.h"
#include "forms/forms.h"
#include "forms/menus.h"
#include "forms/std_ctrls.h"
#include "testsupport/message_pump.h"

namespace formstest {

// A form class as a program declares one: controls found by name, handlers published by name.
class TSampleForm : public forms::TForm {
 public:
  VCL_CLASS(TSampleForm)
  explicit TSampleForm(vcl::TComponent* owner) : forms::TForm(owner) {}
  // Reads `text` (a form resource) into a new form.
  static vcl::ComponentPtr<TSampleForm> FromText(const std::string& text);

  forms::TLabel* Title() const;
  forms::TLabel* Info() const;
  forms::TPanel* Notice() const;
  forms::TBitBtn* Go() const;
  forms::TBitBtn* Halt() const;
  forms::TBitBtn* Quit() const;
  forms::TPopupMenu* Menu() const;
  forms::TMenuItem* First() const;
  forms::TMenuItem* Last() const;

  // Published handlers; each records its call and runs the test's action, if any.
  void GoClick(vcl::TObject* sender);
  void QuitClick(vcl::TObject* sender);
  void FirstClick(vcl::TObject* sender);
  void LastClick(vcl::TObject* sender);

  std::vector<std::string> calls;
  std::function<void()> on_go;
  std::function<void()> on_first;
};

// The form resource of TSampleForm, with real 16-colour glyphs in it.
std::string SampleFormText();

// An 18 x 18 picture (an arrow) twice side by side: enabled, disabled.
std::vector<std::uint8_t> GlyphPair();

using testsupport::PumpUntil;

// Moves the pointer to a screen point and clicks there with real X input (xdotool).
void ClickAt(int x, int y);

// Opens the display for every GUI test.
class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override { forms::InitializeDisplay(); }
};

}  // namespace formstest
