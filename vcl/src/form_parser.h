// Private to the framework: the syntax of the text form format (vcl/form_file.h), parsed into a
// tree without looking at any class.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vcl/properties.h"

namespace vcl::form {

// `Proxy.AccessType = atUseProxy` on line 12: path {"Proxy", "AccessType"}.
struct PropertyNode {
  std::vector<std::string> path;
  FormValue value;
  int line = 0;

  std::string PathText() const;
};

// `object Name: TClass` ... `end`.
struct ObjectNode {
  std::string name;
  std::string class_name;
  int line = 0;
  std::vector<PropertyNode> properties;
  std::vector<ObjectNode> children;
};

// Parses a whole form text. Throws EReadError "Form line N: <what was wrong>".
ObjectNode Parse(std::string_view text);

// "Form line N: message" / "Form line N, property P: message".
std::string LineMessage(int line, const std::string& message);
std::string PropertyMessage(int line, const std::string& property, const std::string& message);

}  // namespace vcl::form
