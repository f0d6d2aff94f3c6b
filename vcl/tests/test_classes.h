// Classes with every kind of published property, for the property and form file tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vcl/properties.h"
#include "vcl/strings.h"

namespace vcltest {

enum TAccess { acPreconfig, acDirect, acProxy };
enum class TOption : std::uint8_t { opA, opB, opC, opD };
using TOptions = vcl::Set<TOption, std::uint8_t>;

// A settings sub-object: nested properties, a stored predicate, and a change counter.
class TSettings : public vcl::TPersistent {
 public:
  VCL_CLASS(TSettings)

  TAccess Access() const { return access_; }
  void SetAccess(TAccess access) {
    access_ = access;
    ++changes;
  }
  std::int32_t port = 8080;
  std::string server;
  std::string bypass = "127.0.0.1;";
  int changes = 0;

 private:
  TAccess access_ = acPreconfig;
};

// A component with one property of every kind.
class TGadget : public vcl::TComponent {
 public:
  VCL_CLASS(TGadget)
  explicit TGadget(vcl::TComponent* owner);
  ~TGadget() override;

  std::int32_t BufferSize() const { return buffer_size_; }
  // Refuses values outside 255..2147483647, as a buffer size type does.
  void SetBufferSize(std::int32_t size);

  TSettings* Settings() const { return settings_; }
  vcl::TStringList* Lines() const { return lines_; }

  void DefineProperties(vcl::TFiler& filer) override;
  void Loaded() override;
  void SetParentComponent(vcl::TComponent* parent) override { parent_ = parent; }
  vcl::TComponent* GetParentComponent() const override { return parent_; }

  std::string caption;
  std::string accept = "text/html, */*";
  std::int32_t count = 0;
  std::uint32_t limit = 0;
  bool enabled = false;
  TAccess mode = acPreconfig;
  TOptions options{TOption::opB, TOption::opC};
  double ratio = 0;
  std::vector<std::uint8_t> blob;
  std::int32_t color = 0;
  std::string secret;
  vcl::TNotifyEvent on_click;
  vcl::Event<vcl::TObject*, const std::string&, bool&> on_ask;
  TGadget* buddy = nullptr;
  // Carried by the defined binary property "Code" (length-prefixed), and "Note" (a text value).
  std::string user;
  std::string note;

  int loaded_calls = 0;
  bool loading_during_loaded = false;

 private:
  std::int32_t buffer_size_ = 4096;
  TSettings* settings_;
  vcl::TStringList* lines_;
  vcl::TComponent* parent_ = nullptr;
};

// A root form that publishes event handlers.
class TTestForm : public vcl::TComponent {
 public:
  VCL_CLASS(TTestForm)
  explicit TTestForm(vcl::TComponent* owner);

  void GadgetClick(vcl::TObject* sender);
  void GadgetAsk(vcl::TObject* sender, const std::string& question, bool& answer);
  void Loaded() override;

  std::vector<std::string> log;
  int loaded_calls = 0;
  TGadget* fixed;  // created by the constructor, named "Fixed"
};

// A class that is registered but cannot be created (no owner constructor).
class TNotCreatable : public vcl::TComponent {
 public:
  VCL_CLASS(TNotCreatable)
  TNotCreatable(vcl::TComponent* owner, int extra) : TComponent(owner), extra_(extra) {}

 private:
  int extra_;
};

// Registers the classes above (idempotent).
void RegisterTestClasses();

}  // namespace vcltest
