#include "vcl/properties.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "test_classes.h"

namespace {

using vcl::FormValue;
using vcltest::TGadget;
using vcltest::TOption;

std::vector<std::string> PropertyNames(const vcl::ClassInfo& info) {
  std::vector<std::string> names;
  for (const vcl::PropInfo* prop : info.Properties()) names.push_back(prop->Name());
  return names;
}

TEST(Properties, DerivedTableExtendsItsBaseInDeclarationOrder) {
  EXPECT_EQ(PropertyNames(TGadget::StaticClass()),
            (std::vector<std::string>{"Tag", "Caption", "Accept", "Count", "Limit", "BufferSize",
                                      "Enabled", "Mode", "Options", "Ratio", "Blob", "Color",
                                      "Settings", "Lines", "Secret", "OnClick", "OnAsk", "Buddy"}));
  EXPECT_TRUE(TGadget::StaticClass().InheritsFrom(vcl::TComponent::StaticClass()));
  EXPECT_FALSE(vcl::TComponent::StaticClass().InheritsFrom(TGadget::StaticClass()));
  EXPECT_EQ(TGadget::StaticClass().FindProperty("bufferSIZE")->Name(), "BufferSize");
  auto gadget = vcl::MakeComponent<TGadget>();
  EXPECT_EQ(&gadget->GetClass(), &TGadget::StaticClass());
  EXPECT_EQ(gadget->ClassName(), "TGadget");
}

// Each row changes one thing on a fresh gadget and says which properties are stored then.
struct StorageCase {
  const char* what;
  void (*change)(TGadget&);
  std::vector<std::string> stored;
};

TEST(Properties, StorageRules) {
  const std::vector<StorageCase> cases = {
      {"defaults: only the always-stored caption",
       [](TGadget&) {},
       {"Caption", "Settings", "Lines"}},
      {"string equal to its default",
       [](TGadget& g) { g.accept = "text/html, */*"; },
       {"Caption", "Settings", "Lines"}},
      {"string differing from its default",
       [](TGadget& g) { g.accept = "*/*"; },
       {"Caption", "Accept", "Settings", "Lines"}},
      {"Boolean stored when True",
       [](TGadget& g) { g.enabled = true; },
       {"Caption", "Enabled", "Settings", "Lines"}},
      {"set differing from its default",
       [](TGadget& g) { g.options = {TOption::opA}; },
       {"Caption", "Options", "Settings", "Lines"}},
      {"empty set differs from a non-empty default",
       [](TGadget& g) { g.options = {}; },
       {"Caption", "Options", "Settings", "Lines"}},
      {"predicate", [](TGadget& g) { g.blob = {1}; }, {"Caption", "Blob", "Settings", "Lines"}},
      {"never stored",
       [](TGadget& g) { g.secret = std::string(1, 'x'); },
       {"Caption", "Settings", "Lines"}},
      {"assigned event without a name is not stored",
       [](TGadget& g) { g.on_click = vcl::TNotifyEvent([](vcl::TObject*) {}); },
       {"Caption", "Settings", "Lines"}},
      {"named event",
       [](TGadget& g) { g.on_click = vcl::TNotifyEvent([](vcl::TObject*) {}, "H"); },
       {"Caption", "Settings", "Lines", "OnClick"}},
      {"reference to itself",
       [](TGadget& g) { g.buddy = &g; },
       {"Caption", "Settings", "Lines", "Buddy"}},
      {"Tag", [](TGadget& g) { g.SetTag(3); }, {"Tag", "Caption", "Settings", "Lines"}},
  };
  for (const StorageCase& c : cases) {
    auto gadget = vcl::MakeComponent<TGadget>();
    gadget->SetName("G");
    c.change(*gadget);
    std::vector<std::string> stored;
    for (const vcl::PropInfo* prop : TGadget::StaticClass().Properties())
      if (prop->IsStored(*gadget)) stored.push_back(prop->Name());
    EXPECT_EQ(stored, c.stored) << c.what;
  }
}

TEST(Properties, NestedPredicateFollowsTheSubObjectsState) {
  vcltest::TSettings settings;
  const vcl::PropInfo* server = settings.GetClass().FindProperty("Server");
  settings.server = "proxy";
  EXPECT_FALSE(server->IsStored(settings));
  settings.SetAccess(vcltest::acProxy);
  EXPECT_TRUE(server->IsStored(settings));
}

// Each row sets one property from a form value and expects the error text (empty: accepted).
struct ValueCase {
  const char* property;
  FormValue value;
  std::string error;
};

TEST(Properties, ValuesAreCheckedAgainstTheirType) {
  const std::vector<ValueCase> cases = {
      {"Count", FormValue::Integer(-2147483648LL), ""},
      {"Count", FormValue::Integer(2147483648LL),
       "2147483648 is out of range (-2147483648..2147483647)"},
      {"Count", FormValue::String("1"),
       "Invalid property value: an integer was expected, found a string"},
      {"Limit", FormValue::Integer(4294967295LL), ""},
      {"Limit", FormValue::Integer(-1), "-1 is out of range (0..4294967295)"},
      {"Enabled", FormValue::Ident("true"), ""},
      {"Enabled", FormValue::Integer(1), "Invalid property value: True or False was expected"},
      {"Mode", FormValue::Ident("ACPROXY"), ""},
      {"Mode", FormValue::Ident("acNone"),
       "Invalid property value: 'acNone' is not one of acPreconfig, acDirect, acProxy"},
      {"Options", FormValue::SetOf({"opA", "opD"}), ""},
      {"Options", FormValue::SetOf({"opE"}),
       "Invalid property value: 'opE' is not one of opA, opB, opC, opD"},
      {"Ratio", FormValue::Integer(2), ""},
      {"Ratio", FormValue::Ident("x"),
       "Invalid property value: a number was expected, found an identifier"},
      {"Color", FormValue::Ident("clTeal"), ""},
      {"Color", FormValue::Ident("clPink"), "Invalid property value: unknown identifier 'clPink'"},
      {"Blob", FormValue::Binary({1, 2}), ""},
      {"BufferSize", FormValue::Integer(254),
       "TransferBufferSize 254 is out of range (255..2147483647)"},
  };
  for (const ValueCase& c : cases) {
    auto gadget = vcl::MakeComponent<TGadget>();
    const vcl::PropInfo* prop = gadget->GetClass().FindProperty(c.property);
    ASSERT_NE(prop, nullptr) << c.property;
    std::string error;
    try {
      prop->SetValue(*gadget, c.value);
    } catch (const vcl::Exception& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.error) << c.property;
  }
}

TEST(Properties, NamedIntegersAndSetsSpellBackAsTheirNames) {
  auto gadget = vcl::MakeComponent<TGadget>();
  const vcl::ClassInfo& info = gadget->GetClass();
  gadget->color = 0x808000;
  EXPECT_EQ(info.FindProperty("Color")->GetValue(*gadget), FormValue::Ident("clTeal"));
  gadget->color = 5;
  EXPECT_EQ(info.FindProperty("Color")->GetValue(*gadget), FormValue::Integer(5));
  gadget->options = {TOption::opD, TOption::opA};
  EXPECT_EQ(info.FindProperty("Options")->GetValue(*gadget), FormValue::SetOf({"opA", "opD"}));
  EXPECT_EQ(gadget->options.ToBits(), 0b1001);
}

TEST(Properties, PublishedMethodsBindByNameAndRefuseAnotherEventType) {
  vcltest::TTestForm form(nullptr);
  const vcl::MethodInfo* click = form.GetClass().FindMethod("gadgetclick");
  ASSERT_NE(click, nullptr);
  EXPECT_EQ(form.GetClass().FindMethod("Missing"), nullptr);
  const vcl::PropInfo* on_click = TGadget::StaticClass().FindProperty("OnClick");
  const vcl::PropInfo* on_ask = TGadget::StaticClass().FindProperty("OnAsk");
  EXPECT_EQ(click->EventType(), on_click->EventType());
  EXPECT_NE(click->EventType(), on_ask->EventType());

  on_click->SetEvent(*form.fixed, click->Bind(form));
  EXPECT_EQ(on_click->HandlerName(*form.fixed), "GadgetClick");
  form.fixed->on_click(form.fixed);
  EXPECT_EQ(form.log, std::vector<std::string>{"click Fixed"});

  EXPECT_THROW(on_ask->SetEvent(*form.fixed, click->Bind(form)), vcl::EConvertError);
  EXPECT_FALSE(form.fixed->on_ask.Assigned());

  // A var parameter answers through the bound method.
  on_ask->SetEvent(*form.fixed, form.GetClass().FindMethod("GadgetAsk")->Bind(form));
  bool answer = false;
  form.fixed->on_ask(form.fixed, "continue?", answer);
  EXPECT_TRUE(answer);
  on_ask->SetEvent(*form.fixed, std::any());
  EXPECT_FALSE(form.fixed->on_ask.Assigned());
}

TEST(Properties, ComponentReferenceRefusesAnotherClass) {
  vcltest::TTestForm form(nullptr);
  form.SetName("Form1");
  const vcl::PropInfo* buddy = TGadget::StaticClass().FindProperty("Buddy");
  buddy->SetComponent(*form.fixed, form.fixed);
  EXPECT_EQ(form.fixed->buddy, form.fixed);
  try {
    buddy->SetComponent(*form.fixed, &form);
    FAIL() << "a TTestForm is not a TGadget";
  } catch (const vcl::EConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid property value: Form1 is a TTestForm, not a TGadget");
  }
}

TEST(Properties, SnapshotRestoresTheNativeValue) {
  auto gadget = vcl::MakeComponent<TGadget>();
  const vcl::PropInfo* options = gadget->GetClass().FindProperty("Options");
  const std::any saved = options->Snapshot(*gadget);
  gadget->options = {};
  options->Restore(*gadget, saved);
  EXPECT_EQ(gadget->options, (vcltest::TOptions{TOption::opB, TOption::opC}));
}

TEST(ClassRegistry, FindsRegisteredClassesAndRefusesADuplicateName) {
  vcltest::RegisterTestClasses();
  vcltest::RegisterTestClasses();  // idempotent
  EXPECT_EQ(vcl::FindClass("tgadget"), &TGadget::StaticClass());
  EXPECT_EQ(vcl::FindClass("TUnknown"), nullptr);
  EXPECT_TRUE(TGadget::StaticClass().CanCreate());
  EXPECT_FALSE(vcltest::TNotCreatable::StaticClass().CanCreate());

  static const vcl::ClassInfo impostor =
      vcl::DescribeClass<TGadget, vcl::TComponent>("TGadget", [](auto&) {});
  EXPECT_THROW(vcl::RegisterClass(impostor), std::logic_error);

  auto owner = vcl::MakeComponent<vcl::TComponent>();
  vcl::TComponent* created = TGadget::StaticClass().Create(owner.get());
  EXPECT_EQ(created->Owner(), owner.get());
  EXPECT_EQ(created->ClassName(), "TGadget");
  EXPECT_THROW(vcltest::TNotCreatable::StaticClass().Create(owner.get()), vcl::EReadError);
}

TEST(SetType, UnionDifferenceIntersectionAndOutOfRangeElements) {
  using S = vcl::Set<TOption, std::uint8_t>;
  const S a{TOption::opA, TOption::opB};
  const S b{TOption::opB, TOption::opC};
  EXPECT_EQ(a + b, (S{TOption::opA, TOption::opB, TOption::opC}));
  EXPECT_EQ(a - b, S{TOption::opA});
  EXPECT_EQ(a * b, S{TOption::opB});
  S c;
  c.Include(static_cast<TOption>(9));  // does not fit 8 bits: ignored
  EXPECT_TRUE(c.Empty());
  EXPECT_FALSE(c.Contains(static_cast<TOption>(9)));
}

}  // namespace
