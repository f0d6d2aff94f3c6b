#include "vcl/form_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_classes.h"

namespace {

using vcltest::TGadget;
using vcltest::TOption;
using vcltest::TTestForm;

class FormFile : public ::testing::Test {
 protected:
  void SetUp() override {
    vcltest::RegisterTestClasses();
    form_.SetName("Form1");
  }

  TGadget* Gadget(const char* name) { return dynamic_cast<TGadget*>(form_.FindComponent(name)); }

  // The message of the EReadError that reading `text` raises ("" when it reads).
  std::string ReadError(const std::string& text) {
    try {
      vcl::ReadForm(form_, text);
    } catch (const vcl::EReadError& e) {
      return e.what();
    }
    return "";
  }

  TTestForm form_{nullptr};
};

// Every kind of value, with the syntax variants the format allows.
const char kEveryKind[] = R"(object Form1: TTestForm
  Tag = -7
  object Fixed: TGadget
    Caption = 'It''s '#13#10'two lines' +
      ' and more'
    Accept = '*/*'
    Count = $1F
    Limit = 4294967295
    BufferSize = 255
    Enabled = True
    Mode = acProxy
    Options = [opA, opD]
    Ratio = -2.5e-3
    Blob = {
      00FF10
      AB}
    Color = clTeal
    Settings.Access = acProxy
    Settings.Port = 3128
    Settings.Server = 'proxy.local'
    Lines.Strings = (
      'first'
      'second')
    OnClick = GadgetClick
    OnAsk = GadgetAsk
    Buddy = Second
    // a comment line
    Left = 8
    Top = 16
    Code = {
      03616263}
    Note = 'n'
  end
  object Second: TGadget
    Buddy = Form1.Fixed
  end
end
)";

TEST_F(FormFile, ReadsEveryKindOfValue) {
  vcl::ReadForm(form_, kEveryKind);
  TGadget* g = form_.fixed;
  EXPECT_EQ(form_.Tag(), -7);
  EXPECT_EQ(g->caption, "It's \r\ntwo lines and more");
  EXPECT_EQ(g->accept, "*/*");
  EXPECT_EQ(g->count, 31);
  EXPECT_EQ(g->limit, 4294967295u);
  EXPECT_EQ(g->BufferSize(), 255);
  EXPECT_TRUE(g->enabled);
  EXPECT_EQ(g->mode, vcltest::acProxy);
  EXPECT_EQ(g->options, (vcltest::TOptions{TOption::opA, TOption::opD}));
  EXPECT_DOUBLE_EQ(g->ratio, -2.5e-3);
  EXPECT_EQ(g->blob, (std::vector<std::uint8_t>{0x00, 0xFF, 0x10, 0xAB}));
  EXPECT_EQ(g->color, 0x808000);
  EXPECT_EQ(g->Settings()->Access(), vcltest::acProxy);
  EXPECT_EQ(g->Settings()->port, 3128);
  EXPECT_EQ(g->Settings()->server, "proxy.local");
  EXPECT_EQ(g->Lines()->Text(), "first\r\nsecond\r\n");
  EXPECT_EQ(g->DesignLeft(), 8);
  EXPECT_EQ(g->DesignTop(), 16);
  EXPECT_EQ(g->user, "abc");
  EXPECT_EQ(g->note, "n");
  TGadget* second = Gadget("Second");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(g->buddy, second);  // named before it was declared
  EXPECT_EQ(second->buddy, g);

  g->on_click(g);
  bool answer = false;
  g->on_ask(g, "go?", answer);
  EXPECT_TRUE(answer);
  EXPECT_EQ(form_.log, (std::vector<std::string>{"click Fixed", "ask go?"}));
}

TEST_F(FormFile, WritesWhatItReadsAndReadsWhatItWrites) {
  vcl::ReadForm(form_, kEveryKind);
  const std::string written = vcl::WriteForm(form_);

  TTestForm copy(nullptr);
  vcl::ReadForm(copy, written);
  EXPECT_EQ(vcl::WriteForm(copy), written);
  TGadget* g = copy.fixed;
  EXPECT_EQ(g->caption, form_.fixed->caption);
  EXPECT_EQ(g->blob, form_.fixed->blob);
  EXPECT_DOUBLE_EQ(g->ratio, form_.fixed->ratio);
  EXPECT_EQ(g->options, form_.fixed->options);
  EXPECT_EQ(g->user, "abc");
  EXPECT_EQ(g->on_click.HandlerName(), "GadgetClick");
  EXPECT_EQ(g->buddy, copy.FindComponent("Second"));
}

TEST_F(FormFile, WriterFollowsTheStorageRulesAndTheClassicLayout) {
  TGadget* g = form_.fixed;
  g->caption = std::string("a'b") + '\t';
  g->Settings()->server = "dropped: access is not acProxy";
  g->Lines()->Add("x");
  g->blob = {0xDE, 0xAD};
  g->options = {};
  g->user = "u";
  g->SetDesignPosition(0, 24);
  g->on_click = vcl::TNotifyEvent::Bind(&form_, &TTestForm::GadgetClick, "GadgetClick");
  EXPECT_EQ(vcl::WriteForm(form_), R"(object Form1: TTestForm
  object Fixed: TGadget
    Caption = 'a''b'#9
    Options = []
    Blob = {
      DEAD}
    Lines.Strings = (
      'x')
    OnClick = GadgetClick
    Top = 24
    Code = {
      0175}
  end
end
)");
}

TEST_F(FormFile, LongStringsContinueOnTheNextLine) {
  form_.fixed->caption = std::string(70, 'x');
  const std::string text = vcl::WriteForm(form_);
  EXPECT_NE(text.find("Caption = '" + std::string(64, 'x') + "' +\n      'xxxxxx'\n"),
            std::string::npos)
      << text;
  TTestForm copy(nullptr);
  vcl::ReadForm(copy, text);
  EXPECT_EQ(copy.fixed->caption, std::string(70, 'x'));
}

TEST_F(FormFile, CreatesChildrenThroughTheRegistryNestsThemAndCallsLoadedOnce) {
  vcl::ReadForm(form_, R"(object Form1: TTestForm
  object Outer: TGadget
    object Inner: TGadget
      Caption = 'in'
    end
  end
  object Fixed: TGadget
  end
end
)");
  TGadget* outer = Gadget("Outer");
  TGadget* inner = Gadget("Inner");
  ASSERT_NE(outer, nullptr);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(outer->Owner(), &form_);
  EXPECT_EQ(inner->Owner(), &form_);  // the root owns every component of the form
  EXPECT_EQ(outer->GetParentComponent(), &form_);
  EXPECT_EQ(inner->GetParentComponent(), outer);
  EXPECT_EQ(form_.fixed->GetParentComponent(), &form_);
  EXPECT_EQ(form_.ComponentCount(), 3);  // Fixed was found, not created again
  for (TGadget* g : {form_.fixed, outer, inner}) {
    EXPECT_EQ(g->loaded_calls, 1) << g->Name();
    EXPECT_TRUE(g->loading_during_loaded) << g->Name();
    EXPECT_FALSE(g->IsLoading()) << g->Name();
  }
  EXPECT_EQ(form_.loaded_calls, 1);
  EXPECT_FALSE(form_.IsLoading());

  // The writer nests them the same way (Caption is always stored).
  EXPECT_EQ(vcl::WriteForm(form_), R"(object Form1: TTestForm
  object Fixed: TGadget
    Caption = ''
  end
  object Outer: TGadget
    Caption = ''
    object Inner: TGadget
      Caption = 'in'
    end
  end
end
)");
}

// Malformed texts: the message names the line and the property or construct.
TEST_F(FormFile, ErrorsNameTheLineAndTheProperty) {
  struct Case {
    std::string text;
    std::string error;
  };
  const std::string head = "object Form1: TTestForm\n  object Fixed: TGadget\n";
  const std::string tail = "  end\nend\n";
  const std::vector<Case> cases = {
      {head + "    Colour = clRed\n" + tail,
       "Form line 3, property Fixed.Colour: property Colour not found"},
      {head + "    Count = 1\n    Mode = acNone\n" + tail,
       "Form line 4, property Fixed.Mode: Invalid property value: 'acNone' is not one of "
       "acPreconfig, acDirect, acProxy"},
      {head + "    BufferSize = 100\n" + tail,
       "Form line 3, property Fixed.BufferSize: TransferBufferSize 100 is out of range "
       "(255..2147483647)"},
      {head + "    Count = 'x'\n" + tail,
       "Form line 3, property Fixed.Count: Invalid property value: an integer was expected, "
       "found a string"},
      {head + "    Settings.Nope = 1\n" + tail,
       "Form line 3, property Fixed.Settings.Nope: property Nope not found"},
      {head + "    Caption.Size = 1\n" + tail,
       "Form line 3, property Fixed.Caption.Size: Caption is not an object"},
      {head + "    Settings = 1\n" + tail,
       "Form line 3, property Fixed.Settings: Settings is an object: set its properties "
       "(Settings.Name = value)"},
      {head + "    OnClick = Missing\n" + tail,
       "Form line 3, property Fixed.OnClick: handler Missing not found: TTestForm publishes no "
       "method of that name"},
      {head + "    OnClick = GadgetAsk\n" + tail,
       "Form line 3, property Fixed.OnClick: handler GadgetAsk does not fit the type of the "
       "event"},
      {head + "    Buddy = Nobody\n" + tail,
       "Form line 3, property Fixed.Buddy: component Nobody not found"},
      {head + "    Buddy = Form1\n" + tail,
       "Form line 3, property Fixed.Buddy: Invalid property value: Form1 is a TTestForm, not a "
       "TGadget"},
      {head + "    Code = 'abc'\n" + tail,
       "Form line 3, property Fixed.Code: binary data was expected, found a string"},
      {head + "    Code = {\n      05}\n" + tail,
       "Form line 3, property Fixed.Code: Stream read error"},
      {head + "    Blob = {\n      ABC}\n" + tail,
       "Form line 4: odd number of hex digits in binary data"},
      {head + "    Caption = 'open\n" + tail, "Form line 3: unterminated string"},
      {head + "    Caption = #300\n" + tail, "Form line 3: character code out of range (0..255)"},
      {head + "    Count = 99999999999999999999\n" + tail, "Form line 3: number too large"},
      {head + "    Count =\n" + tail, "Form line 4: value expected, found 'end'"},
      {head + "    Caption = 'a' +\n    Count = 1\n" + tail,
       "Form line 4: string expected after '+', found 'Count'"},
      {head + "  end\n",
       "Form line 4: property name, 'object' or 'end' expected, found the end "
       "of the text"},
      {head + tail + "object",
       "Form line 5: end of text expected after the last 'end', found "
       "'object'"},
      {"object Form1 TTestForm\nend\n", "Form line 1: ':' expected, found 'TTestForm'"},
      {"object Form1: TGadget\nend\n",
       "Form line 1: the form is a TTestForm, the text describes a TGadget"},
      {head + tail.substr(0, 6) + "  object Fixed: TGadget\n  end\nend\n",
       "Form line 4: a component named Fixed is already described"},
      {"object Form1: TTestForm\n  object Fixed: TTestForm\n  end\nend\n",
       "Form line 2: Fixed is a TGadget, the text says TTestForm"},
      {"object Form1: TTestForm\n  object X: TUnknown\n  end\nend\n",
       "Form line 2: class TUnknown not found"},
      {"object Form1: TTestForm\n  object X: TNotCreatable\n  end\nend\n",
       "Form line 2: class TNotCreatable cannot be created"},
      {"inherited Form1: TTestForm\nend\n",
       "Form line 1: only 'object' is supported, found "
       "'inherited'"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadError(c.text), c.error) << c.text;
}

TEST_F(FormFile, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  std::string text = "object Form1: TTestForm\n  Lines.Strings = ";
  text += std::string(100000, '(');
  EXPECT_NE(ReadError(text).find("nested too deeply"), std::string::npos);
}

// A failure late in the text leaves everything as it was before the read.
TEST_F(FormFile, NothingIsHalfApplied) {
  TGadget* g = form_.fixed;
  g->note = "old note";
  g->user = "old user";
  g->on_click = vcl::TNotifyEvent::Bind(&form_, &TTestForm::GadgetClick, "GadgetClick");
  const std::string before = vcl::WriteForm(form_);
  const int components = form_.ComponentCount();

  const std::string prefix = R"(object Renamed: TTestForm
  Tag = 5
  object Fixed: TGadget
    Caption = 'changed'
    Settings.Access = acDirect
    Lines.Strings = ('changed')
    Note = 'changed'
    Code = {0161}
    OnClick = nil
    Buddy = Created
  end
  object Created: TGadget
    Caption = 'new'
  end
  object Fixed2: TGadget
)";
  // A setter refusing its value, a defined property refusing its data, each as the last step.
  for (const std::string& last :
       {std::string("    BufferSize = 1\n"), std::string("    Code = {FF}\n")}) {
    const std::string error = ReadError(prefix + last + "  end\nend\n");
    EXPECT_NE(error.find("Form line 16, property Fixed2."), std::string::npos) << error;
    EXPECT_EQ(vcl::WriteForm(form_), before);
    EXPECT_EQ(form_.Name(), "Form1");
    EXPECT_EQ(form_.ComponentCount(), components);
    EXPECT_EQ(Gadget("Created"), nullptr);
    EXPECT_EQ(g->note, "old note");
    EXPECT_EQ(g->user, "old user");
    EXPECT_EQ(g->Settings()->changes, 2);  // set, then put back
    EXPECT_EQ(g->Settings()->Access(), vcltest::acPreconfig);
    EXPECT_EQ(g->buddy, nullptr);
    EXPECT_EQ(g->on_click.HandlerName(), "GadgetClick");
    EXPECT_FALSE(g->IsLoading());
    EXPECT_FALSE(form_.IsLoading());
    EXPECT_EQ(g->loaded_calls, 0);
    EXPECT_EQ(form_.loaded_calls, 0);
    g->Settings()->changes = 0;
  }
}

TEST_F(FormFile, ACheckFailureTouchesNothingAtAll) {
  form_.fixed->Settings()->changes = 0;
  EXPECT_NE(ReadError("object Form1: TTestForm\n  object Fixed: TGadget\n"
                      "    Settings.Access = acDirect\n    Mode = acNone\n  end\nend\n"),
            "");
  EXPECT_EQ(form_.fixed->Settings()->changes, 0);  // the whole text is checked before applying
}

TEST_F(FormFile, NilClearsEventsAndReferences) {
  form_.fixed->buddy = form_.fixed;
  form_.fixed->on_click = vcl::TNotifyEvent::Bind(&form_, &TTestForm::GadgetClick, "GadgetClick");
  vcl::ReadForm(form_,
                "object Form1: TTestForm\n  object Fixed: TGadget\n"
                "    Buddy = nil\n    OnClick = nil\n  end\nend\n");
  EXPECT_EQ(form_.fixed->buddy, nullptr);
  EXPECT_FALSE(form_.fixed->on_click.Assigned());
}

}  // namespace
