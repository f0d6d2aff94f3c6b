// Published properties, published methods and the class registry: the run-time type information
// that the form reader and writer (vcl/form_file.h) work from.
//
// Every class that a form file describes declares its published properties ONCE, in a table built
// by a describe function; nobody writes save/load code per property. A derived class's table
// extends its base's: the base's properties come first, then the class's own, each in the order
// of declaration, which is the order in which the writer saves them.
//
// Declaring a class (header, in a public section):
//
//   class TWinHTTPProxy : public vcl::TPersistent {
//    public:
//     VCL_CLASS(TWinHTTPProxy)
//     ...
//   };
//
// and its table (source file):
//
//   const vcl::ClassInfo& TWinHTTPProxy::StaticClass() {
//     static const vcl::ClassInfo info =
//         vcl::DescribeClass<TWinHTTPProxy, vcl::TPersistent>("TWinHTTPProxy", [](auto& t) {
//           using T = TWinHTTPProxy;
//           t.Enum("AccessType", &T::AccessType, &T::SetAccessType, kAccessTypeNames)
//               .Default(atPreconfig);
//           t.Integer("ProxyPort", &T::ProxyPort, &T::SetProxyPort).Default(8080);
//           t.String("ProxyServer", &T::ProxyServer, &T::SetProxyServer)
//               .Stored([](const T& p) { return p.AccessType() == atUseProxy; });
//         });
//     return info;
//   }
//
// Other entries, as a component would declare them:
//   t.String("AcceptTypes", &T::AcceptTypes, &T::SetAcceptTypes).Default("text/html, */*");
//   t.Cardinal("StartRange", &T::start_range).Default(0u);      // a public data member
//   t.Boolean("WorkOffline", &T::work_offline).Default(false);  // stored when True
//   t.SetOf("CacheOptions", &T::cache_options, kCacheOptionNames)
//       .Default({coReloadIfNoExpireInformation, coReloadUpdatedObjects});  // vcl::Set<E, B>
//   t.Integer("Color", &T::Color, &T::SetColor).Default(clBtnFace).Idents(kColorIdents);
//   t.Float("Ratio", &T::ratio);
//   t.Binary("Data", &T::data);                                 // std::vector<std::uint8_t>
//   t.Object("Proxy", &T::Proxy);                  // getter returning TWinHTTPProxy*
//   t.Object("AddHeaders", &T::AddHeaders);        // a TStrings: AddHeaders.Strings = ('a')
//   t.Event("OnDone", &T::OnDone);                 // a public vcl::Event<...> field
//   t.Component("PopupMenu", &T::PopupMenu, &T::SetPopupMenu);  // TPopupMenu* getter/setter
//   t.Method("WinHTTP1Done", &TfOnlineDownload::WinHTTP1Done);  // in a root form's table
// `names` arrays (enumeration and set elements in ordinal order) and `Idents` arrays must be
// static. A class that publishes nothing new still gets VCL_CLASS and an empty describe function
// when it must be named in form files. Components constructible as `new T(owner)` can be
// created by the reader once registered: vcl::RegisterClass<T>().
//
// Accessors: a getter is anything std::invoke can call with `const T&` (a const member function,
// a data member pointer, a lambda); a setter anything callable with `T&` and the value (a member
// function, a lambda). Passing a single data member pointer gives both. Setters may throw
// (ERangeError for a value out of range, EConvertError for a refused value): the reader reports
// that error with the line and the property, and undoes what it applied.
//
// Storage rules (what the writer saves; the reader accepts any property of the table):
//   (none)          always stored
//   .Default(v)     not stored while the value equals v ("stored when different")
//   .Stored(pred)   stored while pred(const T&) is true; combines with Default
//   .NeverStored()  never stored (the reader still accepts it)
// Events are stored while assigned and named; sub-objects write their own properties (prefixed
// with the property name: `Proxy.AccessType = atUseProxy`); component references while not null.
//
// Published methods: the ROOT of a form file (the form) lists the methods that event properties
// may name: `t.Method("WinHTTP1Done", &TfOnlineDownload::WinHTTP1Done)`. A method
// `void (C::*)(Args...)` fits exactly the events of type vcl::Event<Args...>; the reader refuses
// a handler of another type.
//
// Defined properties: TPersistent::DefineProperties(TFiler&) declares values streamed by hand
// (binary LInfo, a bitmap's data, a string list's lines). They are written after the published
// properties of the same object, in the order of definition.
//
// The class registry maps class names to their ClassInfo, so that the reader can create the
// children a form file names (`object bOk: TBitBtn`). A class is registered explicitly with
// RegisterClass<T>() before a form names it.
//
// Threads: ClassInfo and PropInfo are immutable after their describe function ran (function-local
// statics: thread-safe initialisation); reading them is safe from any thread. The registry is
// guarded by a lock and may be used from any thread. Getting and setting properties of an object
// follows that object's rules (components: main thread).
#pragma once

#include <any>
#include <concepts>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <typeinfo>
#include <utility>
#include <vector>

#include "vcl/component.h"
#include "vcl/event.h"
#include "vcl/exceptions.h"
#include "vcl/set.h"

namespace vcl {

class TStream;

// ---------------------------------------------------------------------------------------------
// Values as a form file spells them.

// One value of a form file: integer (12, -3, $1F), floating point (1.5, 2e3), string ('a''b'#13),
// identifier (atUseProxy, True, WinHTTP1Done), set ([a, b]), list (('a' 'b')), binary ({0A1B}).
// Value type; any thread.
class FormValue {
 public:
  enum class Type { kInteger, kFloat, kString, kIdent, kSet, kList, kBinary };
  using Bytes = std::vector<std::uint8_t>;
  using Names = std::vector<std::string>;
  using List = std::vector<FormValue>;

  FormValue() = default;  // the integer 0
  static FormValue Integer(std::int64_t v) {
    FormValue f(Type::kInteger);
    f.integer_ = v;
    return f;
  }
  static FormValue Float(double v) {
    FormValue f(Type::kFloat);
    f.real_ = v;
    return f;
  }
  static FormValue String(std::string v) {
    FormValue f(Type::kString);
    f.text_ = std::move(v);
    return f;
  }
  static FormValue Ident(std::string v) {
    FormValue f(Type::kIdent);
    f.text_ = std::move(v);
    return f;
  }
  static FormValue SetOf(Names v) {
    FormValue f(Type::kSet);
    f.names_ = std::move(v);
    return f;
  }
  static FormValue ListOf(List v) {
    FormValue f(Type::kList);
    f.list_ = std::move(v);
    return f;
  }
  static FormValue Binary(Bytes v) {
    FormValue f(Type::kBinary);
    f.bytes_ = std::move(v);
    return f;
  }

  Type type() const noexcept { return type_; }
  // Accessors; each throws EConvertError ("Invalid property value: a string was expected, found
  // an identifier") when the value is of another type. AsFloat also accepts an integer.
  std::int64_t AsInteger() const;
  double AsFloat() const;
  const std::string& AsString() const;
  const std::string& AsIdent() const;
  const Names& AsSet() const;
  const List& AsList() const;
  const Bytes& AsBinary() const;

  // "an integer", "a string", ... for messages.
  static const char* Describe(Type type) noexcept;
  bool operator==(const FormValue& other) const = default;

 private:
  explicit FormValue(Type type) : type_(type) {}
  [[noreturn]] void Mismatch(Type wanted) const;

  // One member per type (only the one of type_ is used): simpler than a variant of a recursive
  // list, and equality compares them all.
  Type type_ = Type::kInteger;
  std::int64_t integer_ = 0;
  double real_ = 0;
  std::string text_;  // string or identifier
  Names names_;
  List list_;
  Bytes bytes_;
};

// ---------------------------------------------------------------------------------------------
// Defined properties.

// Handed to TPersistent::DefineProperties while an object is read or written. The filer calls
// `read` while reading a form file that holds the property, and `write` while saving when
// `has_data` is true. Both procedures must be able to save the current state ALSO when has_data is
// false (the reader saves it that way to undo a failed read): write the empty state then.
// Exceptions of `read` are reported by the reader with the line and the property.
class TFiler {
 public:
  using ValueReader = std::function<void(const FormValue&)>;
  using ValueWriter = std::function<FormValue()>;
  using StreamProc = std::function<void(TStream&)>;

  virtual ~TFiler() = default;
  // A property written as a form value (an integer, a list of strings, ...).
  virtual void DefineProperty(const std::string& name, ValueReader read, ValueWriter write,
                              bool has_data) = 0;
  // A property written as binary data `{hex}`: `read` gets a stream that holds the data,
  // positioned at 0; `write` writes the data into the stream it gets.
  virtual void DefineBinaryProperty(const std::string& name, StreamProc read, StreamProc write,
                                    bool has_data) = 0;
};

// ---------------------------------------------------------------------------------------------
// Property descriptions.

enum class PropKind {
  kString,     // std::string
  kInteger,    // signed 32-bit (optionally with named values: colours)
  kCardinal,   // unsigned 32-bit
  kBoolean,    // False / True
  kEnum,       // an enumeration with named elements
  kSet,        // vcl::Set of such an enumeration
  kFloat,      // double (float accepted)
  kBinary,     // std::vector<std::uint8_t>, written as {hex}
  kObject,     // a persistent sub-object owned by the object: its properties are read into it
  kEvent,      // vcl::Event<Args...>, bound to a published method of the root by name
  kComponent,  // a reference to another component of the form, by name
};

// A named integer value, such as a colour ("clTeal" = 0x808000).
struct IdentValue {
  const char* name;
  std::int64_t value;
};

// One published property. Created by the table builder; immutable afterwards.
class PropInfo {
 public:
  const std::string& Name() const noexcept { return name_; }
  PropKind Kind() const noexcept { return kind_; }
  // Element names of an enumeration or set property (ordinal order); empty otherwise.
  std::span<const char* const> ElementNames() const noexcept { return names_; }

  // The storage rule: should the writer save this property of `object`?
  bool IsStored(const TPersistent& object) const;

  // Value kinds (string, integer, cardinal, boolean, enum, set, float, binary).
  // GetValue converts the current value to its form spelling. SetValue converts and checks the
  // value (EConvertError: wrong type, unknown element or identifier; ERangeError: number out of
  // the type's range) and calls the setter, which may throw as well.
  FormValue GetValue(const TPersistent& object) const;
  void SetValue(TPersistent& object, const FormValue& value) const;
  // Checks that `value` suits this property without setting anything; throws as SetValue does.
  void CheckValue(const FormValue& value) const;

  // kObject: the sub-object (never null for a well-formed table).
  TPersistent* GetObject(const TPersistent& object) const;

  // kEvent: the event type, the handler name currently bound ("" when unassigned or unnamed),
  // and binding: `event` is a std::any holding the Event type (see MethodInfo::Bind); an empty
  // std::any clears the event. Throws EConvertError when the types differ.
  std::type_index EventType() const noexcept { return event_type_; }
  std::string HandlerName(const TPersistent& object) const;
  void SetEvent(TPersistent& object, const std::any& event) const;

  // kComponent: the referenced component (nullptr for none), and the reference's setter, which
  // throws EConvertError when `component` is not of the class the property takes.
  TComponent* GetComponent(const TPersistent& object) const;
  void SetComponent(TPersistent& object, TComponent* component) const;

  // The current value in its native type, and putting such a value back (undo). Not for kObject.
  std::any Snapshot(const TPersistent& object) const;
  void Restore(TPersistent& object, const std::any& snapshot) const;

 private:
  template <typename T, typename V>
  friend class PropertyBuilder;
  template <typename T>
  friend class PropertyTable;
  PropInfo(std::string name, PropKind kind) : name_(std::move(name)), kind_(kind) {}

  std::string name_;
  PropKind kind_;
  std::span<const char* const> names_;
  std::span<const IdentValue> idents_;
  std::type_index event_type_ = typeid(void);

  // Type-erased accessors, filled by PropertyTable.
  std::function<FormValue(const TPersistent&)> get_value_;
  std::function<void(TPersistent&, const FormValue&)> set_value_;
  std::function<void(const FormValue&)> check_value_;
  std::function<TPersistent*(const TPersistent&)> get_object_;
  std::function<std::string(const TPersistent&)> handler_name_;
  std::function<void(TPersistent&, const std::any&)> set_event_;
  std::function<TComponent*(const TPersistent&)> get_component_;
  std::function<void(TPersistent&, TComponent*)> set_component_;
  std::function<std::any(const TPersistent&)> snapshot_;
  std::function<void(TPersistent&, const std::any&)> restore_;
  // Storage rule.
  std::function<bool(const TPersistent&)> is_default_;  // set by Default()
  std::function<bool(const TPersistent&)> stored_;      // set by Stored()
  bool never_stored_ = false;
};

// A published method of a root class: an event handler that a form file may name.
class MethodInfo {
 public:
  const std::string& Name() const noexcept { return name_; }
  // typeid(vcl::Event<Args...>) for a method void(Args...).
  std::type_index EventType() const noexcept { return event_type_; }
  // An Event<Args...> (in a std::any) calling this method on `root`, named after the method.
  // Precondition: root is an instance of the class that published the method (or derived).
  std::any Bind(TPersistent& root) const { return bind_(root, name_); }

 private:
  template <typename T>
  friend class PropertyTable;
  MethodInfo(std::string name, std::type_index type,
             std::function<std::any(TPersistent&, const std::string&)> bind)
      : name_(std::move(name)), event_type_(type), bind_(std::move(bind)) {}

  std::string name_;
  std::type_index event_type_;
  std::function<std::any(TPersistent&, const std::string&)> bind_;
};

// ---------------------------------------------------------------------------------------------
// Classes.

// The run-time description of one class: its name, its base, its published properties (the
// base's first) and methods, and, for components, how to create one.
class ClassInfo {
 public:
  // The root of a hierarchy (TPersistent): no base, no properties. Other classes are described
  // with DescribeClass.
  explicit ClassInfo(std::string name) : ClassInfo(std::move(name), nullptr) {}
  ClassInfo(ClassInfo&&) noexcept = default;
  ClassInfo(const ClassInfo&) = delete;
  ClassInfo& operator=(const ClassInfo&) = delete;

  const std::string& Name() const noexcept { return name_; }
  const ClassInfo* Parent() const noexcept { return parent_; }
  // True when this class is `other` or derives from it.
  bool InheritsFrom(const ClassInfo& other) const noexcept;

  // All published properties, inherited ones first, in declaration order.
  const std::vector<const PropInfo*>& Properties() const noexcept { return all_props_; }
  // The property or published method named `name` (ASCII case-insensitive), own or inherited;
  // nullptr when there is none.
  const PropInfo* FindProperty(std::string_view name) const;
  const MethodInfo* FindMethod(std::string_view name) const;

  // Components whose class can be constructed from an owner can be created by the reader.
  bool CanCreate() const noexcept { return static_cast<bool>(create_); }
  // A new component owned by `owner`. Throws EReadError when the class cannot be created, and
  // whatever the constructor throws.
  TComponent* Create(TComponent* owner) const;

 private:
  template <typename T, typename Base, typename Describe>
  friend ClassInfo DescribeClass(std::string name, Describe&& describe);
  ClassInfo(std::string name, const ClassInfo* parent);

  std::string name_;
  const ClassInfo* parent_;
  std::vector<std::unique_ptr<PropInfo>> own_props_;
  std::vector<const PropInfo*> all_props_;
  std::vector<std::unique_ptr<MethodInfo>> own_methods_;
  std::function<TComponent*(TComponent*)> create_;
};

// Declares the run-time class members. Put it in a public section of every class that has a
// table (and define Type::StaticClass() with DescribeClass in a source file).
#define VCL_CLASS(Type)                               \
  static const ::vcl::ClassInfo& StaticClass();       \
  const ::vcl::ClassInfo& GetClass() const override { \
    return StaticClass();                             \
  }                                                   \
  std::string ClassName() const override {            \
    return #Type;                                     \
  }

namespace detail {
template <typename X>
struct IsEvent : std::false_type {};
template <typename... Args>
struct IsEvent<Event<Args...>> : std::true_type {};

template <typename X>
struct IsSet : std::false_type {};
template <typename E, typename B>
struct IsSet<Set<E, B>> : std::true_type {};

// Read a property of `object` through a getter (member function, data member, callable).
template <typename T, typename G>
decltype(auto) Get(const G& getter, const TPersistent& object) {
  return std::invoke(getter, static_cast<const T&>(object));
}
template <typename T, typename G>
using GetResult = std::remove_cvref_t<std::invoke_result_t<const G&, const T&>>;

// Range checks of form values; throw ERangeError naming the value and the range.
std::int64_t CheckedInteger(const FormValue& value, std::int64_t min, std::int64_t max);
// A signed 32-bit value: a number or one of `idents`.
std::int64_t IntegerFromValue(const FormValue& value, std::span<const IdentValue> idents);
FormValue IntegerToValue(std::int64_t value, std::span<const IdentValue> idents);
bool BooleanFromValue(const FormValue& value);
std::size_t OrdinalFromValue(const FormValue& value, std::span<const char* const> names);
std::uint64_t BitsFromValue(const FormValue& value, std::span<const char* const> names,
                            unsigned capacity);
FormValue BitsToValue(std::uint64_t bits, std::span<const char* const> names);
[[noreturn]] void ThrowWrongEventType(const std::string& property);
[[noreturn]] void ThrowWrongComponentClass(const TComponent& component, const std::string& wanted);
bool SameText(std::string_view a, std::string_view b) noexcept;
}  // namespace detail

// Returned by each table entry, to attach its storage rule (and named values for integers). V is
// the property's native type (void for sub-objects, events and component references).
template <typename T, typename V>
class PropertyBuilder {
  struct NoNativeValue {};
  using Native = std::conditional_t<std::is_void_v<V>, NoNativeValue, V>;

 public:
  explicit PropertyBuilder(PropInfo& info) : info_(info) {}

  // Not stored while the value equals `value`.
  PropertyBuilder& Default(const Native& value) requires(!std::is_void_v<V>) {
    info_.is_default_ = [snapshot = info_.snapshot_, value](const TPersistent& o) {
      return std::any_cast<const Native&>(snapshot(o)) == value;
    };
    return *this;
  }
  // Stored while `pred(const T&)` holds.
  template <typename P>
  PropertyBuilder& Stored(P pred) {
    info_.stored_ = [pred = std::move(pred)](const TPersistent& o) {
      return static_cast<bool>(std::invoke(pred, static_cast<const T&>(o)));
    };
    return *this;
  }
  PropertyBuilder& NeverStored() {
    info_.never_stored_ = true;
    return *this;
  }
  // Integer properties: named values read and written instead of numbers (colours). `idents` must
  // outlive the table (a static array).
  PropertyBuilder& Idents(
      std::span<const IdentValue> idents) requires std::is_same_v<V, std::int32_t> {
    info_.idents_ = idents;
    return *this;
  }

 private:
  PropInfo& info_;
};

// The table of one class, filled by its describe function. Every entry takes the property's
// name (as the form file spells it) and its accessors; see the top of this header.
template <typename T>
class PropertyTable {
 public:
  // ---- strings, numbers, Booleans, binary data
  template <typename G, typename S>
  PropertyBuilder<T, std::string> String(std::string name, G get, S set) {
    return Scalar<std::string>(
        std::move(name), PropKind::kString, std::move(get), std::move(set),
        [](const FormValue& v) { return v.AsString(); },
        [](const std::string& s) { return FormValue::String(s); });
  }
  // Signed 32-bit; see PropertyBuilder::Idents for named values.
  template <typename G, typename S>
  PropertyBuilder<T, std::int32_t> Integer(std::string name, G get, S set) {
    auto& info = Add(std::move(name), PropKind::kInteger);
    const PropInfo* self = &info;
    FillScalar<std::int32_t>(
        info, std::move(get), std::move(set),
        [self](const FormValue& v) {
          return static_cast<std::int32_t>(detail::IntegerFromValue(v, self->idents_));
        },
        [self](std::int32_t v) { return detail::IntegerToValue(v, self->idents_); });
    return PropertyBuilder<T, std::int32_t>(info);
  }
  // Unsigned 32-bit.
  template <typename G, typename S>
  PropertyBuilder<T, std::uint32_t> Cardinal(std::string name, G get, S set) {
    return Scalar<std::uint32_t>(
        std::move(name), PropKind::kCardinal, std::move(get), std::move(set),
        [](const FormValue& v) {
          return static_cast<std::uint32_t>(
              detail::CheckedInteger(v, 0, std::numeric_limits<std::uint32_t>::max()));
        },
        [](std::uint32_t v) { return FormValue::Integer(v); });
  }
  template <typename G, typename S>
  PropertyBuilder<T, bool> Boolean(std::string name, G get, S set) {
    return Scalar<bool>(std::move(name), PropKind::kBoolean, std::move(get), std::move(set),
                        detail::BooleanFromValue,
                        [](bool b) { return FormValue::Ident(b ? "True" : "False"); });
  }
  template <typename G, typename S>
  PropertyBuilder<T, double> Float(std::string name, G get, S set) {
    return Scalar<double>(
        std::move(name), PropKind::kFloat, std::move(get), std::move(set),
        [](const FormValue& v) { return v.AsFloat(); },
        [](double d) { return FormValue::Float(d); });
  }
  template <typename G, typename S>
  PropertyBuilder<T, FormValue::Bytes> Binary(std::string name, G get, S set) {
    using Bytes = FormValue::Bytes;
    return Scalar<Bytes>(
        std::move(name), PropKind::kBinary, std::move(get), std::move(set),
        [](const FormValue& v) { return v.AsBinary(); },
        [](const Bytes& b) { return FormValue::Binary(b); });
  }

  // ---- enumerations and sets; `names` lists the elements in ordinal order and must outlive the
  // table (a static array).
  template <typename G, typename S>
  auto Enum(std::string name, G get, S set, std::span<const char* const> names) {
    using E = detail::GetResult<T, G>;
    static_assert(std::is_enum_v<E>, "Enum: the getter must return an enumeration");
    auto& info = Add(std::move(name), PropKind::kEnum);
    info.names_ = names;
    FillScalar<E>(
        info, std::move(get), std::move(set),
        [names](const FormValue& v) { return static_cast<E>(detail::OrdinalFromValue(v, names)); },
        [names](E e) {
          const auto ordinal = static_cast<std::size_t>(e);
          return FormValue::Ident(ordinal < names.size() ? names[ordinal] : "");
        });
    return PropertyBuilder<T, E>(info);
  }
  template <typename G, typename S>
  auto SetOf(std::string name, G get, S set, std::span<const char* const> names) {
    using V = detail::GetResult<T, G>;
    static_assert(detail::IsSet<V>::value, "SetOf: the getter must return a vcl::Set");
    auto& info = Add(std::move(name), PropKind::kSet);
    info.names_ = names;
    FillScalar<V>(
        info, std::move(get), std::move(set),
        [names](const FormValue& v) {
          return V::FromBits(
              static_cast<typename V::Storage>(detail::BitsFromValue(v, names, V::kCapacity)));
        },
        [names](V s) { return detail::BitsToValue(s.ToBits(), names); });
    return PropertyBuilder<T, V>(info);
  }

  // ---- a persistent sub-object owned by the object (TStrings, TFont, TWinHTTPProxy...). The
  // getter returns a pointer to it; the reader reads nested values into that object.
  template <typename G>
  PropertyBuilder<T, void> Object(std::string name, G get) {
    using P = detail::GetResult<T, G>;
    using O = std::remove_cv_t<std::remove_pointer_t<P>>;
    static_assert(std::is_pointer_v<P> && std::is_base_of_v<TPersistent, O>,
                  "Object: the getter must return a pointer to a TPersistent");
    auto& info = Add(std::move(name), PropKind::kObject);
    info.get_object_ = [get = std::move(get)](const TPersistent& o) -> TPersistent* {
      return const_cast<O*>(detail::Get<T>(get, o));
    };
    return PropertyBuilder<T, void>(info);
  }

  // ---- events: the getter returns a vcl::Event<Args...> (by value or reference), the setter
  // takes one.
  template <typename G, typename S>
  PropertyBuilder<T, void> Event(std::string name, G get, S set) {
    using Ev = detail::GetResult<T, G>;
    static_assert(detail::IsEvent<Ev>::value, "Event: the getter must return a vcl::Event");
    auto& info = Add(std::move(name), PropKind::kEvent);
    info.event_type_ = typeid(Ev);
    info.handler_name_ = [get](const TPersistent& o) {
      const Ev& ev = detail::Get<T>(get, o);
      return ev.Assigned() ? ev.HandlerName() : std::string();
    };
    info.set_event_ = [set, prop = info.name_](TPersistent& o, const std::any& event) {
      if (!event.has_value()) {
        std::invoke(set, static_cast<T&>(o), Ev());
        return;
      }
      if (event.type() != typeid(Ev)) detail::ThrowWrongEventType(prop);
      std::invoke(set, static_cast<T&>(o), std::any_cast<const Ev&>(event));
    };
    info.snapshot_ = [get](const TPersistent& o) { return std::any(Ev(detail::Get<T>(get, o))); };
    info.restore_ = [set](TPersistent& o, const std::any& a) {
      std::invoke(set, static_cast<T&>(o), std::any_cast<const Ev&>(a));
    };
    return PropertyBuilder<T, void>(info);
  }

  // ---- a reference to another component: the getter returns C*, the setter takes C*.
  template <typename G, typename S>
  PropertyBuilder<T, void> Component(std::string name, G get, S set) {
    using P = detail::GetResult<T, G>;
    using C = std::remove_cv_t<std::remove_pointer_t<P>>;
    static_assert(std::is_pointer_v<P> && std::is_base_of_v<TComponent, C>,
                  "Component: the getter must return a pointer to a TComponent");
    auto& info = Add(std::move(name), PropKind::kComponent);
    info.get_component_ = [get](const TPersistent& o) -> TComponent* {
      return const_cast<C*>(detail::Get<T>(get, o));
    };
    info.set_component_ = [set](TPersistent& o, TComponent* c) {
      C* typed = dynamic_cast<C*>(c);
      // C's name is looked up only here: a class may refer to its own kind (Buddy: TGadget).
      if (c != nullptr && typed == nullptr) {
        detail::ThrowWrongComponentClass(*c, C::StaticClass().Name());
      }
      std::invoke(set, static_cast<T&>(o), typed);
    };
    info.snapshot_ = [get](const TPersistent& o) {
      return std::any(const_cast<C*>(detail::Get<T>(get, o)));
    };
    info.restore_ = [set](TPersistent& o, const std::any& a) {
      std::invoke(set, static_cast<T&>(o), std::any_cast<C*>(a));
    };
    return PropertyBuilder<T, void>(info);
  }

  // ---- the same entries with one public data member as getter and setter.
  template <typename M>
  requires(!std::is_function_v<M>) auto String(std::string name, M T::*member) {
    return String(std::move(name), member, Assigner(member));
  }
  template <typename M>
  requires(!std::is_function_v<M>) auto Integer(std::string name, M T::*member) {
    return Integer(std::move(name), member, Assigner(member));
  }
  template <typename M>
  requires(!std::is_function_v<M>) auto Cardinal(std::string name, M T::*member) {
    return Cardinal(std::move(name), member, Assigner(member));
  }
  template <typename M>
  requires(!std::is_function_v<M>) auto Boolean(std::string name, M T::*member) {
    return Boolean(std::move(name), member, Assigner(member));
  }
  template <typename M>
  requires(!std::is_function_v<M>) auto Float(std::string name, M T::*member) {
    return Float(std::move(name), member, Assigner(member));
  }
  template <typename M>
  requires(!std::is_function_v<M>) auto Binary(std::string name, M T::*member) {
    return Binary(std::move(name), member, Assigner(member));
  }
  template <typename M>
  requires(!std::is_function_v<M>) auto Enum(std::string name, M T::*member,
                                             std::span<const char* const> names) {
    return Enum(std::move(name), member, Assigner(member), names);
  }
  template <typename M>
  requires(!std::is_function_v<M>) auto SetOf(std::string name, M T::*member,
                                              std::span<const char* const> names) {
    return SetOf(std::move(name), member, Assigner(member), names);
  }
  template <typename M>
  requires(!std::is_function_v<M>) auto Event(std::string name, M T::*member) {
    return Event(std::move(name), member, Assigner(member));
  }
  template <typename M>
  requires(!std::is_function_v<M>) auto Component(std::string name, M T::*member) {
    return Component(std::move(name), member, Assigner(member));
  }

  // ---- a published method (event handler) of this class or of a base class C of it.
  template <typename C, typename... Args>
  requires std::is_base_of_v<C, T>
  void Method(std::string name, void (C::*method)(Args...)) {
    auto bind = [method](TPersistent& root, const std::string& handler) {
      C* object = dynamic_cast<C*>(&root);
      return std::any(vcl::Event<Args...>(
          [object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); },
          handler));
    };
    methods_.push_back(std::unique_ptr<MethodInfo>(
        new MethodInfo(std::move(name), typeid(vcl::Event<Args...>), std::move(bind))));
  }

 private:
  template <typename U, typename Base, typename Describe>
  friend ClassInfo DescribeClass(std::string name, Describe&& describe);

  template <typename M>
  static auto Assigner(M T::*member) {
    return [member](T& object, const M& value) { object.*member = value; };
  }

  PropInfo& Add(std::string name, PropKind kind) {
    props_.push_back(std::unique_ptr<PropInfo>(new PropInfo(std::move(name), kind)));
    return *props_.back();
  }

  // Value-kind plumbing: `from` turns a form value into the native type V (checking it), `to`
  // the native value into its form spelling.
  template <typename V, typename G, typename S, typename From, typename To>
  static void FillScalar(PropInfo& info, G get, S set, From from, To to) {
    info.get_value_ = [get, to](const TPersistent& o) {
      return to(static_cast<V>(detail::Get<T>(get, o)));
    };
    info.check_value_ = [from](const FormValue& v) { (void)from(v); };
    info.set_value_ = [set, from](TPersistent& o, const FormValue& v) {
      std::invoke(set, static_cast<T&>(o), from(v));
    };
    info.snapshot_ = [get](const TPersistent& o) {
      return std::any(static_cast<V>(detail::Get<T>(get, o)));
    };
    info.restore_ = [set](TPersistent& o, const std::any& a) {
      std::invoke(set, static_cast<T&>(o), std::any_cast<const V&>(a));
    };
  }
  template <typename V, typename G, typename S, typename From, typename To>
  PropertyBuilder<T, V> Scalar(std::string name, PropKind kind, G get, S set, From from, To to) {
    auto& info = Add(std::move(name), kind);
    FillScalar<V>(info, std::move(get), std::move(set), std::move(from), std::move(to));
    return PropertyBuilder<T, V>(info);
  }

  std::vector<std::unique_ptr<PropInfo>> props_;
  std::vector<std::unique_ptr<MethodInfo>> methods_;
};

// Builds the ClassInfo of T (whose base class with a table is Base) named `name`: `describe` is
// called once with a PropertyTable<T>& to declare T's own properties and methods. Components
// constructible as `new T(owner)` get a factory for the reader.
template <typename T, typename Base, typename Describe>
ClassInfo DescribeClass(std::string name, Describe&& describe) {
  static_assert(std::is_base_of_v<Base, T> && std::is_base_of_v<TPersistent, Base>,
                "DescribeClass<T, Base>: T derives from Base, a TPersistent");
  ClassInfo info(std::move(name), &Base::StaticClass());
  PropertyTable<T> table;
  std::forward<Describe>(describe)(table);
  for (auto& p : table.props_) {
    info.all_props_.push_back(p.get());
    info.own_props_.push_back(std::move(p));
  }
  info.own_methods_ = std::move(table.methods_);
  if constexpr (std::is_base_of_v<TComponent, T> && !std::is_abstract_v<T> &&
                std::is_constructible_v<T, TComponent*>) {
    info.create_ = [](TComponent* owner) -> TComponent* { return new T(owner); };
  }
  return info;
}

// ---------------------------------------------------------------------------------------------
// The class registry. Any thread.

// Registers `info` under its name. Registering the same ClassInfo again does nothing; another
// class of the same name throws std::logic_error.
void RegisterClass(const ClassInfo& info);
template <typename T>
void RegisterClass() {
  RegisterClass(T::StaticClass());
}
// The registered class named `name` (ASCII case-insensitive), or nullptr.
const ClassInfo* FindClass(std::string_view name);

}  // namespace vcl
