#include "test_classes.h"

#include "vcl/streams.h"

namespace vcltest {

namespace {
constexpr const char* kAccessNames[] = {"acPreconfig", "acDirect", "acProxy"};
constexpr const char* kOptionNames[] = {"opA", "opB", "opC", "opD"};
constexpr vcl::IdentValue kColors[] = {{"clBlack", 0}, {"clRed", 0xFF}, {"clTeal", 0x808000}};
}  // namespace

const vcl::ClassInfo& TSettings::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TSettings, vcl::TPersistent>("TSettings", [](auto& t) {
        using T = TSettings;
        t.Enum("Access", &T::Access, &T::SetAccess, kAccessNames).Default(acPreconfig);
        t.Integer("Port", &T::port).Default(8080);
        t.String("Server", &T::server).Stored([](const T& s) { return s.Access() == acProxy; });
        t.String("Bypass", &T::bypass).Stored([](const T& s) { return s.Access() == acProxy; });
      });
  return info;
}

TGadget::TGadget(vcl::TComponent* owner)
    : TComponent(owner), settings_(new TSettings), lines_(new vcl::TStringList) {}

TGadget::~TGadget() {
  delete lines_;
  delete settings_;
}

void TGadget::SetBufferSize(std::int32_t size) {
  if (size < 255) {
    throw vcl::ERangeError("TransferBufferSize " + std::to_string(size) +
                           " is out of range (255..2147483647)");
  }
  buffer_size_ = size;
}

const vcl::ClassInfo& TGadget::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TGadget, vcl::TComponent>("TGadget", [](auto& t) {
        using T = TGadget;
        t.String("Caption", &T::caption);
        t.String("Accept", &T::accept).Default("text/html, */*");
        t.Integer("Count", &T::count).Default(0);
        t.Cardinal("Limit", &T::limit).Default(0u);
        t.Integer("BufferSize", &T::BufferSize, &T::SetBufferSize).Default(4096);
        t.Boolean("Enabled", &T::enabled).Default(false);
        t.Enum("Mode", &T::mode, kAccessNames).Default(acPreconfig);
        t.SetOf("Options", &T::options, kOptionNames).Default({TOption::opB, TOption::opC});
        t.Float("Ratio", &T::ratio).Default(0.0);
        t.Binary("Blob", &T::blob).Stored([](const T& g) { return !g.blob.empty(); });
        t.Integer("Color", &T::color).Default(0).Idents(kColors);
        t.Object("Settings", &T::Settings);
        t.Object("Lines", &T::Lines);
        t.String("Secret", &T::secret).NeverStored();
        t.Event("OnClick", &T::on_click);
        t.Event("OnAsk", &T::on_ask);
        t.Component("Buddy", &T::buddy);
      });
  return info;
}

void TGadget::DefineProperties(vcl::TFiler& filer) {
  TComponent::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "Code",
      [this](vcl::TStream& stream) {
        std::uint8_t length = 0;
        stream.ReadBuffer(&length, 1);
        if (length > 100) throw vcl::EReadError("Code record too long");
        std::string text(length, '\0');
        stream.ReadBuffer(text.data(), length);
        user = text;
      },
      [this](vcl::TStream& stream) {
        const auto length = static_cast<std::uint8_t>(user.size());
        stream.WriteBuffer(&length, 1);
        stream.WriteBuffer(user.data(), length);
      },
      !user.empty());
  filer.DefineProperty(
      "Note", [this](const vcl::FormValue& value) { note = value.AsString(); },
      [this] { return vcl::FormValue::String(note); }, !note.empty());
}

void TGadget::Loaded() {
  loading_during_loaded = IsLoading();
  TComponent::Loaded();
  ++loaded_calls;
}

TTestForm::TTestForm(vcl::TComponent* owner) : TComponent(owner), fixed(new TGadget(this)) {
  fixed->SetName("Fixed");
}

void TTestForm::GadgetClick(vcl::TObject* sender) {
  log.push_back("click " + static_cast<vcl::TComponent*>(sender)->Name());
}

void TTestForm::GadgetAsk(vcl::TObject* /*sender*/, const std::string& question, bool& answer) {
  log.push_back("ask " + question);
  answer = true;
}

void TTestForm::Loaded() {
  TComponent::Loaded();
  ++loaded_calls;
}

const vcl::ClassInfo& TTestForm::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TTestForm, vcl::TComponent>("TTestForm", [](auto& t) {
        t.Method("GadgetClick", &TTestForm::GadgetClick);
        t.Method("GadgetAsk", &TTestForm::GadgetAsk);
      });
  return info;
}

const vcl::ClassInfo& TNotCreatable::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TNotCreatable, vcl::TComponent>("TNotCreatable", [](auto&) {});
  return info;
}

void RegisterTestClasses() {
  vcl::RegisterClass<TGadget>();
  vcl::RegisterClass<TTestForm>();
  vcl::RegisterClass<TNotCreatable>();
}

}  // namespace vcltest
