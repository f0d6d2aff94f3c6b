// The component framework core: TObject, TPersistent and TComponent.
//
// Ownership: a component is created with `new T(owner)` and from then on belongs to its owner,
// which frees it in its own destructor (children are freed in reverse order of insertion). A
// component without owner is held by a ComponentPtr (MakeComponent) or freed with Free(). Freeing
// a component first marks it and everything it owns as being destroyed (Destroying()), so that
// worker threads polling IsDestroying() stop touching them before any of them goes away; derived
// destructors that free shared state should call Destroying() first as well (it is idempotent).
//
// Threads: components are created, changed and destroyed on the main thread. The component state
// (destroying, designing, loading) is atomic and may be read from any thread.
//
// Failures: TPersistent::Assign throws EConvertError "Cannot assign a %s to a %s" when neither side
// knows how to copy the other. Nothing else here throws except std::bad_alloc.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vcl {

class TFiler;
class ClassInfo;  // vcl/properties.h

// Base of every class of the framework. ClassName() gives the class's declared name ("TWinHTTP"),
// used in error messages and form files.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
  virtual std::string ClassName() const { return "TObject"; }
};

// An object whose settings can be copied (Assign) and streamed (DefineProperties).
class TPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TPersistent"; }

  // The run-time description of the class (published properties and methods; vcl/properties.h).
  // Classes with a property table override both with VCL_CLASS(Type).
  static const ClassInfo& StaticClass();
  virtual const ClassInfo& GetClass() const { return StaticClass(); }

  // Copies the settings of `source` into this object. The base asks the source to assign itself
  // (AssignTo); if it cannot, throws EConvertError. `source` may be nullptr: classes that accept
  // that override Assign.
  virtual void Assign(const TPersistent* source);

  // Declares properties that are streamed by hand (binary data such as LInfo). The base declares
  // nothing. Called while reading and writing form files.
  virtual void DefineProperties(TFiler& filer);

 protected:
  // Copies this object into `dest`; the base throws EConvertError naming both classes.
  virtual void AssignTo(TPersistent* dest) const;
};

enum class ComponentState : std::uint32_t {
  csLoading = 1u << 0,  // properties are being read from a form file; Loaded() clears it
  csReading = 1u << 1,
  csWriting = 1u << 2,
  csDestroying = 1u << 3,  // the component (or its owner) is being freed
  csDesigning = 1u << 4,   // the component is being edited, not run
};

class TComponent : public TPersistent {
 public:
  // Inserts the new component into `owner`'s list when owner is not nullptr. Main thread.
  explicit TComponent(TComponent* owner);
  // Marks this component and its children as being destroyed, frees the children (last inserted
  // first) and removes itself from its owner's list.
  ~TComponent() override;

  std::string ClassName() const override { return "TComponent"; }
  // Publishes Tag (default 0, not stored while 0).
  static const ClassInfo& StaticClass();
  const ClassInfo& GetClass() const override { return StaticClass(); }

  TComponent* Owner() const noexcept { return owner_; }
  int ComponentCount() const noexcept { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
  // The owned component named `name` (case-insensitive, ASCII), or nullptr.
  TComponent* FindComponent(const std::string& name) const;

  const std::string& Name() const noexcept { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  std::int32_t Tag() const noexcept { return tag_; }
  void SetTag(std::int32_t tag) noexcept { tag_ = tag; }

  // Component state; any thread.
  bool HasState(ComponentState state) const noexcept {
    return (state_.load(std::memory_order_acquire) & static_cast<std::uint32_t>(state)) != 0;
  }
  bool IsDestroying() const noexcept { return HasState(ComponentState::csDestroying); }
  bool IsDesigning() const noexcept { return HasState(ComponentState::csDesigning); }
  bool IsLoading() const noexcept { return HasState(ComponentState::csLoading); }

  // Sets or clears the designing state of this component and everything it owns. Main thread.
  void SetDesigning(bool designing);
  // Sets or clears the loading state (the form reader sets it before applying stored values and
  // clears it by calling Loaded()). Main thread.
  void SetLoading(bool loading) noexcept;

  // Marks this component and, recursively, everything it owns as being destroyed. Idempotent.
  void Destroying() noexcept;

  // Called by the form reader after all stored values are applied. The base clears csLoading;
  // overrides call it first.
  virtual void Loaded();

  // The component a form file nests this one in (`object` inside `object`). The reader calls
  // SetParentComponent for every child it reads (created or found), with the object the file
  // nests it in (the root for top-level children); visual controls take it as their parent window,
  // menu items as their menu. When a read fails, a found child gets its previous parent back
  // (possibly nullptr) through the same call. GetParentComponent tells the writer where to nest
  // the component: nullptr means directly inside the root. Both are no-ops in the base. Main
  // thread.
  virtual void SetParentComponent(TComponent* /*parent*/) {}
  virtual TComponent* GetParentComponent() const { return nullptr; }

  // Design-time position of a non-visual component, streamed as the defined properties Left and
  // Top (stored while not 0). Visual controls publish their own Left and Top instead.
  std::int32_t DesignLeft() const noexcept { return design_left_; }
  std::int32_t DesignTop() const noexcept { return design_top_; }
  void SetDesignPosition(std::int32_t left, std::int32_t top) noexcept {
    design_left_ = left;
    design_top_ = top;
  }

  // Defines Left and Top (the design-time position). Overrides call it first.
  void DefineProperties(TFiler& filer) override;

 private:
  void SetStateBit(ComponentState state, bool on) noexcept;
  void Remove(TComponent* child) noexcept;

  TComponent* owner_;
  std::vector<TComponent*> components_;  // owned: freed by the destructor
  std::string name_;
  std::int32_t tag_ = 0;
  std::int32_t design_left_ = 0;
  std::int32_t design_top_ = 0;
  std::atomic<std::uint32_t> state_{0};
};

// Frees a component: marks it destroying, then deletes it. Null is ignored.
void Free(TComponent* component) noexcept;

struct ComponentDeleter {
  void operator()(TComponent* component) const noexcept { Free(component); }
};

// Owner of a component that has no owner component.
template <typename T>
using ComponentPtr = std::unique_ptr<T, ComponentDeleter>;

template <typename T, typename... Args>
ComponentPtr<T> MakeComponent(Args&&... args) {
  return ComponentPtr<T>(new T(nullptr, std::forward<Args>(args)...));
}

}  // namespace vcl
