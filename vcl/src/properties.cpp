// Property descriptions, class descriptions and the class registry.
#include "vcl/properties.h"

#include <map>
#include <mutex>
#include <stdexcept>

#include "text_util.h"

namespace vcl {

// ---- FormValue

const char* FormValue::Describe(Type type) noexcept {
  switch (type) {
    case Type::kInteger:
      return "an integer";
    case Type::kFloat:
      return "a number";
    case Type::kString:
      return "a string";
    case Type::kIdent:
      return "an identifier";
    case Type::kSet:
      return "a set";
    case Type::kList:
      return "a list";
    case Type::kBinary:
      return "binary data";
  }
  return "a value";
}

void FormValue::Mismatch(Type wanted) const {
  throw EConvertError(std::string("Invalid property value: ") + Describe(wanted) +
                      " was expected, found " + Describe(type_));
}

std::int64_t FormValue::AsInteger() const {
  if (type_ != Type::kInteger) Mismatch(Type::kInteger);
  return integer_;
}

double FormValue::AsFloat() const {
  if (type_ == Type::kInteger) return static_cast<double>(integer_);
  if (type_ != Type::kFloat) Mismatch(Type::kFloat);
  return real_;
}

const std::string& FormValue::AsString() const {
  if (type_ != Type::kString) Mismatch(Type::kString);
  return text_;
}

const std::string& FormValue::AsIdent() const {
  if (type_ != Type::kIdent) Mismatch(Type::kIdent);
  return text_;
}

const FormValue::Names& FormValue::AsSet() const {
  if (type_ != Type::kSet) Mismatch(Type::kSet);
  return names_;
}

const FormValue::List& FormValue::AsList() const {
  if (type_ != Type::kList) Mismatch(Type::kList);
  return list_;
}

const FormValue::Bytes& FormValue::AsBinary() const {
  if (type_ != Type::kBinary) Mismatch(Type::kBinary);
  return bytes_;
}

// ---- conversions used by the property tables

namespace detail {

bool SameText(std::string_view a, std::string_view b) noexcept {
  return SameTextAscii(a, b);
}

std::int64_t CheckedInteger(const FormValue& value, std::int64_t min, std::int64_t max) {
  const std::int64_t v = value.AsInteger();
  if (v < min || v > max) {
    throw ERangeError(std::to_string(v) + " is out of range (" + std::to_string(min) + ".." +
                      std::to_string(max) + ")");
  }
  return v;
}

std::int64_t IntegerFromValue(const FormValue& value, std::span<const IdentValue> idents) {
  if (value.type() == FormValue::Type::kIdent && !idents.empty()) {
    for (const IdentValue& ident : idents)
      if (SameText(ident.name, value.AsIdent())) return ident.value;
    throw EConvertError("Invalid property value: unknown identifier '" + value.AsIdent() + "'");
  }
  return CheckedInteger(value, std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::int32_t>::max());
}

FormValue IntegerToValue(std::int64_t value, std::span<const IdentValue> idents) {
  for (const IdentValue& ident : idents)
    if (ident.value == value) return FormValue::Ident(ident.name);
  return FormValue::Integer(value);
}

bool BooleanFromValue(const FormValue& value) {
  if (value.type() == FormValue::Type::kIdent) {
    if (SameText(value.AsIdent(), "True")) return true;
    if (SameText(value.AsIdent(), "False")) return false;
  }
  throw EConvertError("Invalid property value: True or False was expected");
}

namespace {
std::string ElementList(std::span<const char* const> names) {
  std::string list;
  for (const char* name : names) list += (list.empty() ? "" : ", ") + std::string(name);
  return list;
}

std::size_t FindElement(const std::string& name, std::span<const char* const> names) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (SameText(names[i], name)) return i;
  throw EConvertError("Invalid property value: '" + name + "' is not one of " + ElementList(names));
}
}  // namespace

std::size_t OrdinalFromValue(const FormValue& value, std::span<const char* const> names) {
  return FindElement(value.AsIdent(), names);
}

std::uint64_t BitsFromValue(const FormValue& value, std::span<const char* const> names,
                            unsigned capacity) {
  std::uint64_t bits = 0;
  for (const std::string& element : value.AsSet()) {
    const std::size_t ordinal = FindElement(element, names);
    if (ordinal >= capacity || ordinal >= 64) {
      throw ERangeError("Set element '" + element + "' does not fit the set's storage");
    }
    bits |= std::uint64_t{1} << ordinal;
  }
  return bits;
}

FormValue BitsToValue(std::uint64_t bits, std::span<const char* const> names) {
  FormValue::Names elements;
  for (std::size_t i = 0; i < names.size() && i < 64; ++i)
    if ((bits >> i) & 1u) elements.emplace_back(names[i]);
  return FormValue::SetOf(std::move(elements));
}

void ThrowWrongEventType(const std::string& property) {
  throw EConvertError("Invalid property value: the handler's type does not fit the event " +
                      property);
}

void ThrowWrongComponentClass(const TComponent& component, const std::string& wanted) {
  throw EConvertError("Invalid property value: " + component.Name() + " is a " +
                      component.ClassName() + ", not a " + wanted);
}

}  // namespace detail

// ---- PropInfo

namespace {
[[noreturn]] void NotOfKind(const std::string& name, const char* what) {
  throw EConvertError("Property " + name + " is not " + what);
}
}  // namespace

bool PropInfo::IsStored(const TPersistent& object) const {
  if (never_stored_) return false;
  if (stored_ && !stored_(object)) return false;
  switch (kind_) {
    case PropKind::kEvent:
      return !handler_name_(object).empty();
    case PropKind::kComponent: {
      const TComponent* target = get_component_(object);
      return target != nullptr && !target->Name().empty();
    }
    default:
      break;
  }
  return !(is_default_ && is_default_(object));
}

FormValue PropInfo::GetValue(const TPersistent& object) const {
  if (!get_value_) NotOfKind(name_, "a value property");
  return get_value_(object);
}

void PropInfo::SetValue(TPersistent& object, const FormValue& value) const {
  if (!set_value_) NotOfKind(name_, "a value property");
  set_value_(object, value);
}

void PropInfo::CheckValue(const FormValue& value) const {
  if (!check_value_) NotOfKind(name_, "a value property");
  check_value_(value);
}

TPersistent* PropInfo::GetObject(const TPersistent& object) const {
  if (!get_object_) NotOfKind(name_, "an object property");
  return get_object_(object);
}

std::string PropInfo::HandlerName(const TPersistent& object) const {
  if (!handler_name_) NotOfKind(name_, "an event");
  return handler_name_(object);
}

void PropInfo::SetEvent(TPersistent& object, const std::any& event) const {
  if (!set_event_) NotOfKind(name_, "an event");
  set_event_(object, event);
}

TComponent* PropInfo::GetComponent(const TPersistent& object) const {
  if (!get_component_) NotOfKind(name_, "a component reference");
  return get_component_(object);
}

void PropInfo::SetComponent(TPersistent& object, TComponent* component) const {
  if (!set_component_) NotOfKind(name_, "a component reference");
  set_component_(object, component);
}

std::any PropInfo::Snapshot(const TPersistent& object) const {
  if (!snapshot_) NotOfKind(name_, "a property with a value");
  return snapshot_(object);
}

void PropInfo::Restore(TPersistent& object, const std::any& snapshot) const {
  if (!restore_) NotOfKind(name_, "a property with a value");
  restore_(object, snapshot);
}

// ---- ClassInfo

ClassInfo::ClassInfo(std::string name, const ClassInfo* parent)
    : name_(std::move(name)), parent_(parent) {
  if (parent_ != nullptr) all_props_ = parent_->all_props_;
}

bool ClassInfo::InheritsFrom(const ClassInfo& other) const noexcept {
  for (const ClassInfo* c = this; c != nullptr; c = c->parent_)
    if (c == &other) return true;
  return false;
}

const PropInfo* ClassInfo::FindProperty(std::string_view name) const {
  for (const PropInfo* prop : all_props_)
    if (SameTextAscii(prop->Name(), name)) return prop;
  return nullptr;
}

const MethodInfo* ClassInfo::FindMethod(std::string_view name) const {
  for (const ClassInfo* c = this; c != nullptr; c = c->parent_)
    for (const auto& method : c->own_methods_)
      if (SameTextAscii(method->Name(), name)) return method.get();
  return nullptr;
}

TComponent* ClassInfo::Create(TComponent* owner) const {
  if (!create_) throw EReadError("Class " + name_ + " cannot be created by the form reader");
  return create_(owner);
}

// ---- the classes of the framework core

const ClassInfo& TPersistent::StaticClass() {
  static const ClassInfo info("TPersistent");
  return info;
}

const ClassInfo& TComponent::StaticClass() {
  static const ClassInfo info =
      DescribeClass<TComponent, TPersistent>("TComponent", [](PropertyTable<TComponent>& t) {
        t.Integer("Tag", &TComponent::Tag, &TComponent::SetTag).Default(0);
      });
  return info;
}

void TComponent::DefineProperties(TFiler& filer) {
  TPersistent::DefineProperties(filer);
  auto coordinate = [](const FormValue& v) {
    return static_cast<std::int32_t>(detail::IntegerFromValue(v, {}));
  };
  filer.DefineProperty(
      "Left", [this, coordinate](const FormValue& v) { design_left_ = coordinate(v); },
      [this] { return FormValue::Integer(design_left_); }, design_left_ != 0);
  filer.DefineProperty(
      "Top", [this, coordinate](const FormValue& v) { design_top_ = coordinate(v); },
      [this] { return FormValue::Integer(design_top_); }, design_top_ != 0);
}

// ---- the registry

namespace {
struct Registry {
  std::mutex lock;
  std::map<std::string, const ClassInfo*> classes;  // key: lower-case name
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}
}  // namespace

void RegisterClass(const ClassInfo& info) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto [it, inserted] = registry.classes.emplace(LowerAscii(info.Name()), &info);
  if (!inserted && it->second != &info) {
    throw std::logic_error("A class named " + info.Name() + " is registered already");
  }
}

const ClassInfo* FindClass(std::string_view name) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto it = registry.classes.find(LowerAscii(name));
  return it == registry.classes.end() ? nullptr : it->second;
}

}  // namespace vcl
