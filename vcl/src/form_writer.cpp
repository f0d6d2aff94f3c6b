// The form writer: published properties by their storage rules, then defined properties, then
// the nested components.
#include <charconv>
#include <cmath>

#include "defined_properties.h"
#include "vcl/form_file.h"
#include "vcl/streams.h"

namespace vcl {

namespace {

using form::DefinedProperties;

constexpr std::size_t kStringPiece = 64;  // characters of a string per line
constexpr std::size_t kBinaryLine = 32;   // bytes of binary data per line

bool Printable(unsigned char c) {
  return c >= 32 && c != 127;
}

// 'text', with '' for a quote and #n for control characters; long strings continue on the next
// line after " +".
std::string FormatString(const std::string& text, const std::string& indent) {
  if (text.empty()) return "''";
  std::string out;
  for (std::size_t start = 0; start < text.size(); start += kStringPiece) {
    if (start > 0) out += " +\n" + indent + "  ";
    bool quoted = false;
    const std::size_t end = std::min(text.size(), start + kStringPiece);
    for (std::size_t i = start; i < end; ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (Printable(c)) {
        if (!quoted) out += '\'';
        quoted = true;
        out += c == '\'' ? std::string("''") : std::string(1, static_cast<char>(c));
      } else {
        if (quoted) out += '\'';
        quoted = false;
        out += '#' + std::to_string(c);
      }
    }
    if (quoted) out += '\'';
  }
  return out;
}

std::string FormatFloat(double value) {
  if (!std::isfinite(value))
    throw EConvertError("A form file cannot hold the number " + std::to_string(value));
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "0";
  return std::string(buffer, ptr);
}

std::string FormatValue(const FormValue& value, const std::string& indent) {
  switch (value.type()) {
    case FormValue::Type::kInteger:
      return std::to_string(value.AsInteger());
    case FormValue::Type::kFloat:
      return FormatFloat(value.AsFloat());
    case FormValue::Type::kString:
      return FormatString(value.AsString(), indent);
    case FormValue::Type::kIdent:
      return value.AsIdent();
    case FormValue::Type::kSet: {
      std::string out = "[";
      for (const std::string& element : value.AsSet())
        out += (out.size() > 1 ? ", " : "") + element;
      return out + "]";
    }
    case FormValue::Type::kList: {
      std::string out = "(";
      for (const FormValue& item : value.AsList())
        out += "\n" + indent + "  " + FormatValue(item, indent + "  ");
      return out + ")";
    }
    case FormValue::Type::kBinary: {
      static const char kHex[] = "0123456789ABCDEF";
      const FormValue::Bytes& bytes = value.AsBinary();
      std::string out = "{";
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % kBinaryLine == 0) out += "\n" + indent + "  ";
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 0xF];
      }
      return out + "}";
    }
  }
  return "";
}

class FormWriter {
 public:
  explicit FormWriter(TComponent& root) : root_(root) {}

  std::string Run() {
    WriteObject(root_, "");
    return std::move(out_);
  }

 private:
  void WriteObject(TComponent& component, const std::string& indent) {
    out_ += indent + "object " + component.Name() + ": " + component.ClassName() + "\n";
    WriteProperties(component, "", indent + "  ");
    for (int i = 0; i < root_.ComponentCount(); ++i) {
      TComponent* child = root_.Components(i);
      if (child->Name().empty()) continue;  // a nameless component cannot be read back
      TComponent* parent = child->GetParentComponent();
      const bool nested_here =
          &component == &root_ ? (parent == nullptr || parent == &root_) : parent == &component;
      if (nested_here) WriteObject(*child, indent + "  ");
    }
    out_ += indent + "end\n";
  }

  void Line(const std::string& indent, const std::string& name, const std::string& value) {
    out_ += indent + name + " = " + value + "\n";
  }

  void WriteProperties(TPersistent& object, const std::string& prefix, const std::string& indent) {
    for (const PropInfo* prop : object.GetClass().Properties()) {
      if (!prop->IsStored(object)) continue;
      const std::string name = prefix + prop->Name();
      switch (prop->Kind()) {
        case PropKind::kObject:
          if (TPersistent* sub = prop->GetObject(object)) WriteProperties(*sub, name + ".", indent);
          break;
        case PropKind::kEvent:
          Line(indent, name, prop->HandlerName(object));
          break;
        case PropKind::kComponent:
          Line(indent, name, ReferenceName(*prop->GetComponent(object)));
          break;
        default:
          Line(indent, name, FormatValue(prop->GetValue(object), indent));
          break;
      }
    }
    DefinedProperties defined(object);
    for (const auto& def : defined.All()) {
      if (!def.has_data || defined.Find(def.name) != &def) continue;
      if (def.binary) {
        TMemoryStream data;
        def.write_stream(data);
        FormValue::Bytes bytes(data.Memory(), data.Memory() + data.Size());
        Line(indent, prefix + def.name, FormatValue(FormValue::Binary(std::move(bytes)), indent));
      } else {
        Line(indent, prefix + def.name, FormatValue(def.write_value(), indent));
      }
    }
  }

  // The root and its components by name; others as Owner.Name.
  std::string ReferenceName(const TComponent& component) const {
    if (&component == &root_ || component.Owner() == &root_ || component.Owner() == nullptr) {
      return component.Name();
    }
    return ReferenceName(*component.Owner()) + "." + component.Name();
  }

  TComponent& root_;
  std::string out_;
};

}  // namespace

std::string WriteForm(TComponent& root) {
  return FormWriter(root).Run();
}

}  // namespace vcl
