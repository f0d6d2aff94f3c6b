// Private to the framework: the defined properties of one object, collected through the TFiler
// interface (TPersistent::DefineProperties) for the form reader and writer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text_util.h"
#include "vcl/properties.h"

namespace vcl::form {

class DefinedProperties : public TFiler {
 public:
  struct Definition {
    std::string name;
    bool binary = false;
    ValueReader read_value;
    ValueWriter write_value;
    StreamProc read_stream;
    StreamProc write_stream;
    bool has_data = false;
  };

  // Collects the definitions of `object` (it must outlive this collection).
  explicit DefinedProperties(TPersistent& object) { object.DefineProperties(*this); }

  void DefineProperty(const std::string& name, ValueReader read, ValueWriter write,
                      bool has_data) override {
    definitions_.push_back({name, false, std::move(read), std::move(write), {}, {}, has_data});
  }
  void DefineBinaryProperty(const std::string& name, StreamProc read, StreamProc write,
                            bool has_data) override {
    definitions_.push_back({name, true, {}, {}, std::move(read), std::move(write), has_data});
  }

  const std::vector<Definition>& All() const noexcept { return definitions_; }
  // The last definition named `name` (a later definition overrides an earlier one), or nullptr.
  const Definition* Find(std::string_view name) const {
    for (auto it = definitions_.rbegin(); it != definitions_.rend(); ++it)
      if (SameTextAscii(it->name, name)) return &*it;
    return nullptr;
  }

 private:
  std::vector<Definition> definitions_;
};

}  // namespace vcl::form
