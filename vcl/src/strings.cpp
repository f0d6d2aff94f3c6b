#include "vcl/strings.h"

#include "vcl/properties.h"

namespace vcl {

const ClassInfo& TStrings::StaticClass() {
  static const ClassInfo info =
      DescribeClass<TStrings, TPersistent>("TStrings", [](PropertyTable<TStrings>&) {});
  return info;
}

const ClassInfo& TStringList::StaticClass() {
  static const ClassInfo info =
      DescribeClass<TStringList, TStrings>("TStringList", [](PropertyTable<TStringList>&) {});
  return info;
}

int TStrings::Add(std::string line) {
  const int index = Count();
  Insert(index, std::move(line));
  return index;
}

void TStrings::AddStrings(const TStrings& other) {
  // Copy first: `other` may be this list.
  const std::vector<std::string> lines = other.ToVector();
  for (const std::string& line : lines) Add(line);
}

int TStrings::IndexOf(const std::string& line) const {
  for (int i = 0; i < Count(); ++i)
    if (Strings(i) == line) return i;
  return -1;
}

std::vector<std::string> TStrings::ToVector() const {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(Count()));
  for (int i = 0; i < Count(); ++i) lines.push_back(Strings(i));
  return lines;
}

bool TStrings::Equals(const TStrings& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Strings(i) != other.Strings(i)) return false;
  return true;
}

std::string TStrings::Text() const {
  std::string text;
  for (int i = 0; i < Count(); ++i) {
    text += Strings(i);
    text += "\r\n";
  }
  return text;
}

void TStrings::SetText(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  Clear();
  for (std::string& line : lines) Add(std::move(line));
}

void TStrings::Assign(const TPersistent* source) {
  if (source == nullptr) {
    Clear();
    return;
  }
  if (const auto* other = dynamic_cast<const TStrings*>(source)) {
    if (other == this) return;
    const std::vector<std::string> lines = other->ToVector();
    Clear();
    for (const std::string& line : lines) Add(line);
    return;
  }
  TPersistent::Assign(source);
}

void TStrings::DefineProperties(TFiler& filer) {
  TPersistent::DefineProperties(filer);
  filer.DefineProperty(
      "Strings",
      [this](const FormValue& value) {
        std::vector<std::string> lines;
        for (const FormValue& item : value.AsList()) lines.push_back(item.AsString());
        Clear();
        for (std::string& line : lines) Add(std::move(line));
      },
      [this] {
        FormValue::List items;
        for (int i = 0; i < Count(); ++i) items.push_back(FormValue::String(Strings(i)));
        return FormValue::ListOf(std::move(items));
      },
      Count() > 0);
}

void TStringList::CheckIndex(int index, bool allow_end) const {
  const int limit = allow_end ? Count() : Count() - 1;
  if (index < 0 || index > limit) {
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  }
}

const std::string& TStringList::Strings(int index) const {
  CheckIndex(index, false);
  return lines_[static_cast<std::size_t>(index)];
}

void TStringList::Put(int index, std::string line) {
  CheckIndex(index, false);
  lines_[static_cast<std::size_t>(index)] = std::move(line);
}

void TStringList::Insert(int index, std::string line) {
  CheckIndex(index, true);
  lines_.insert(lines_.begin() + index, std::move(line));
}

void TStringList::Delete(int index) {
  CheckIndex(index, false);
  lines_.erase(lines_.begin() + index);
}

}  // namespace vcl
