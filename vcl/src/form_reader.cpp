// The form reader: parse and check the whole text, then apply it with an undo log, then Loaded.
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "defined_properties.h"
#include "form_parser.h"
#include "text_util.h"
#include "vcl/form_file.h"
#include "vcl/streams.h"

namespace vcl {

namespace {

using form::DefinedProperties;
using form::ObjectNode;
using form::PropertyNode;

// One component the text describes.
struct ComponentPlan {
  const ObjectNode* node;
  TComponent* component;
  TComponent* parent;  // the object the text nests it in; nullptr for the root
  bool created;
};

// One property line, resolved against the objects it applies to.
struct Assignment {
  const PropertyNode* node;
  std::string label;  // WinHTTP1.Proxy.AccessType
  TPersistent* target;
  const PropInfo* prop = nullptr;                          // published property, or
  const DefinedProperties::Definition* defined = nullptr;  // defined property
  const MethodInfo* method = nullptr;                      // event: handler (nullptr: nil)
  TComponent* reference = nullptr;                         // component reference (nullptr: nil)
};

bool IsNil(const FormValue& value) {
  return value.type() == FormValue::Type::kIdent && SameTextAscii(value.AsIdent(), "nil");
}

// True when `name` is the class of `component` or one of its bases.
bool ClassFits(const TComponent& component, const std::string& name) {
  if (SameTextAscii(component.ClassName(), name)) return true;
  for (const ClassInfo* c = &component.GetClass(); c != nullptr; c = c->Parent())
    if (SameTextAscii(c->Name(), name)) return true;
  return false;
}

class FormReader {
 public:
  FormReader(TComponent& root, std::string_view text) : root_(root), tree_(form::Parse(text)) {}

  // Undoes everything unless Commit() was reached.
  ~FormReader() {
    if (!committed_) Rollback();
  }

  void Run() {
    PlanComponents();
    IndexNames();
    for (const ComponentPlan& plan : plans_) PlanProperties(plan);
    Apply();
    committed_ = true;
    CallLoaded();
  }

 private:
  // ---- phase 1: find or create every component, resolve and check every property

  void PlanComponents() {
    if (!ClassFits(root_, tree_.class_name)) {
      throw EReadError(form::LineMessage(
          tree_.line,
          "the form is a " + root_.ClassName() + ", the text describes a " + tree_.class_name));
    }
    plans_.push_back({&tree_, &root_, nullptr, false});
    std::set<std::string> names{LowerAscii(tree_.name)};
    PlanChildren(tree_, &root_, names);
  }

  void PlanChildren(const ObjectNode& parent_node, TComponent* parent,
                    std::set<std::string>& names) {
    for (const ObjectNode& node : parent_node.children) {
      if (!names.insert(LowerAscii(node.name)).second) {
        throw EReadError(form::LineMessage(
            node.line, "a component named " + node.name + " is already described"));
      }
      TComponent* component = root_.FindComponent(node.name);
      bool created = false;
      if (component != nullptr) {
        if (!ClassFits(*component, node.class_name)) {
          throw EReadError(form::LineMessage(node.line, node.name + " is a " +
                                                            component->ClassName() +
                                                            ", the text says " + node.class_name));
        }
      } else {
        component = Create(node);
        created = true;
      }
      plans_.push_back({&node, component, parent, created});
      PlanChildren(node, component, names);
    }
  }

  TComponent* Create(const ObjectNode& node) {
    const ClassInfo* cls = FindClass(node.class_name);
    if (cls == nullptr) {
      throw EReadError(form::LineMessage(node.line, "class " + node.class_name + " not found"));
    }
    if (!cls->CanCreate()) {
      throw EReadError(
          form::LineMessage(node.line, "class " + node.class_name + " cannot be created"));
    }
    TComponent* component = nullptr;
    try {
      component = cls->Create(&root_);
    } catch (const std::exception& e) {
      throw EReadError(
          form::LineMessage(node.line, "cannot create " + node.name + ": " + e.what()));
    }
    created_.push_back(component);
    component->SetName(node.name);
    return component;
  }

  void IndexNames() {
    by_name_[LowerAscii(tree_.name)] = &root_;
    if (!root_.Name().empty()) by_name_[LowerAscii(root_.Name())] = &root_;
    for (int i = 0; i < root_.ComponentCount(); ++i) {
      TComponent* c = root_.Components(i);
      if (!c->Name().empty()) by_name_.emplace(LowerAscii(c->Name()), c);
    }
  }

  // `A` or `A.B` (B owned by A).
  TComponent* FindReference(const std::string& name) const {
    const std::size_t dot = name.find('.');
    auto it = by_name_.find(LowerAscii(name.substr(0, dot)));
    if (it == by_name_.end()) return nullptr;
    if (dot == std::string::npos) return it->second;
    TComponent* owner = it->second;
    std::size_t start = dot + 1;
    while (owner != nullptr) {
      const std::size_t next = name.find('.', start);
      owner = owner->FindComponent(name.substr(start, next - start));
      if (next == std::string::npos) return owner;
      start = next + 1;
    }
    return nullptr;
  }

  const DefinedProperties& DefinitionsOf(TPersistent& object) {
    auto& slot = definitions_[&object];
    if (!slot) slot = std::make_unique<DefinedProperties>(object);
    return *slot;
  }

  void PlanProperties(const ComponentPlan& plan) {
    for (const PropertyNode& node : plan.node->properties) {
      Assignment a{&node, plan.node->name + "." + node.PathText(), plan.component};
      try {
        Resolve(a);
      } catch (const EReadError&) {
        throw;
      } catch (const std::exception& e) {
        throw EReadError(form::PropertyMessage(node.line, a.label, e.what()));
      }
      assignments_.push_back(a);
    }
  }

  [[noreturn]] static void Fail(const Assignment& a, const std::string& message) {
    throw EReadError(form::PropertyMessage(a.node->line, a.label, message));
  }

  void Resolve(Assignment& a) {
    const std::vector<std::string>& path = a.node->path;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
      const PropInfo* prop = a.target->GetClass().FindProperty(path[i]);
      if (prop == nullptr || prop->Kind() != PropKind::kObject) {
        Fail(a, prop == nullptr ? "property " + path[i] + " not found"
                                : path[i] + " is not an object");
      }
      a.target = prop->GetObject(*a.target);
      if (a.target == nullptr) Fail(a, path[i] + " is not there");
    }
    const std::string& name = path.back();
    const FormValue& value = a.node->value;
    a.prop = a.target->GetClass().FindProperty(name);
    if (a.prop == nullptr) {
      a.defined = DefinitionsOf(*a.target).Find(name);
      if (a.defined == nullptr) Fail(a, "property " + name + " not found");
      if (a.defined->binary && value.type() != FormValue::Type::kBinary) {
        Fail(a,
             std::string("binary data was expected, found ") + FormValue::Describe(value.type()));
      }
      return;
    }
    switch (a.prop->Kind()) {
      case PropKind::kObject:
        Fail(a, name + " is an object: set its properties (" + name + ".Name = value)");
      case PropKind::kEvent:
        ResolveHandler(a, value);
        return;
      case PropKind::kComponent:
        if (IsNil(value)) return;
        a.reference = FindReference(value.AsIdent());
        if (a.reference == nullptr) Fail(a, "component " + value.AsIdent() + " not found");
        return;
      default:
        a.prop->CheckValue(value);
        return;
    }
  }

  void ResolveHandler(Assignment& a, const FormValue& value) {
    if (IsNil(value)) return;
    const std::string& handler = value.AsIdent();
    a.method = root_.GetClass().FindMethod(handler);
    if (a.method == nullptr) {
      Fail(a, "handler " + handler + " not found: " + root_.ClassName() +
                  " publishes no method of that name");
    }
    if (a.method->EventType() != a.prop->EventType()) {
      Fail(a, "handler " + handler + " does not fit the type of the event");
    }
  }

  // ---- phase 2: apply, logging how to undo every step

  void Apply() {
    for (const ComponentPlan& plan : plans_) {
      if (!plan.created) loading_set_.push_back(plan.component);
      plan.component->SetLoading(true);
    }
    if (root_.Name() != tree_.name) {
      std::string old = root_.Name();
      undo_.push_back([this, old] { root_.SetName(old); });
      root_.SetName(tree_.name);
    }
    for (const ComponentPlan& plan : plans_) {
      if (plan.parent == nullptr) continue;
      TComponent* old = plan.component->GetParentComponent();
      if (!plan.created) {
        undo_.push_back([c = plan.component, old] { c->SetParentComponent(old); });
      }
      try {
        plan.component->SetParentComponent(plan.parent);
      } catch (const std::exception& e) {
        throw EReadError(form::LineMessage(plan.node->line, plan.node->name + ": " + e.what()));
      }
    }
    // References last: every component they may name exists by now.
    for (const Assignment& a : assignments_)
      if (a.prop == nullptr || a.prop->Kind() != PropKind::kComponent) Guarded(a);
    for (const Assignment& a : assignments_)
      if (a.prop != nullptr && a.prop->Kind() == PropKind::kComponent) Guarded(a);
  }

  void Guarded(const Assignment& a) {
    try {
      Set(a);
    } catch (const std::exception& e) {
      throw EReadError(form::PropertyMessage(a.node->line, a.label, e.what()));
    }
  }

  void Set(const Assignment& a) {
    TPersistent* target = a.target;
    const FormValue& value = a.node->value;
    if (a.defined != nullptr) {
      const DefinedProperties::Definition* def = a.defined;
      if (def->binary) {
        auto saved = std::make_shared<TMemoryStream>();
        def->write_stream(*saved);
        undo_.push_back([def, saved] {
          saved->SetPosition(0);
          def->read_stream(*saved);
        });
        TMemoryStream data;
        const FormValue::Bytes& bytes = value.AsBinary();
        data.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        data.SetPosition(0);
        def->read_stream(data);
      } else {
        FormValue saved = def->write_value();
        undo_.push_back([def, saved] { def->read_value(saved); });
        def->read_value(value);
      }
      return;
    }
    const PropInfo* prop = a.prop;
    std::any saved = prop->Snapshot(*target);
    undo_.push_back([prop, target, saved] { prop->Restore(*target, saved); });
    switch (prop->Kind()) {
      case PropKind::kEvent:
        prop->SetEvent(*target, a.method != nullptr ? a.method->Bind(root_) : std::any());
        break;
      case PropKind::kComponent:
        prop->SetComponent(*target, a.reference);
        break;
      default:
        prop->SetValue(*target, value);
        break;
    }
  }

  void Rollback() noexcept {
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
      try {
        (*it)();
      } catch (const std::exception&) {
        // Putting back a value the object held a moment ago; nothing better to do if it refuses.
      }
    }
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) Free(*it);
    for (TComponent* c : loading_set_) c->SetLoading(false);
  }

  // ---- phase 3

  // Every component gets its Loaded (and leaves the loading state) even if one of them throws;
  // the first exception is passed on afterwards.
  void CallLoaded() {
    std::exception_ptr first;
    for (const ComponentPlan& plan : plans_) {
      try {
        plan.component->Loaded();
      } catch (const std::exception&) {
        if (!first) first = std::current_exception();
        plan.component->SetLoading(false);
      }
    }
    if (first) std::rethrow_exception(first);
  }

  TComponent& root_;
  ObjectNode tree_;
  std::vector<ComponentPlan> plans_;
  std::vector<TComponent*> created_;
  std::vector<TComponent*> loading_set_;
  std::map<std::string, TComponent*> by_name_;
  std::map<TPersistent*, std::unique_ptr<DefinedProperties>> definitions_;
  std::vector<Assignment> assignments_;
  std::vector<std::function<void()>> undo_;
  bool committed_ = false;
};

}  // namespace

void ReadForm(TComponent& root, std::string_view text) {
  FormReader reader(root, text);
  reader.Run();
}

}  // namespace vcl
