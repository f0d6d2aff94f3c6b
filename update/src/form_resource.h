// The dialog's form resource: update/iupdate_form.txt, built into the program as a string
// constant (vcl_embed_text).
#pragma once

#include <string_view>

namespace update {

extern const std::string_view kIupdateForm;

}  // namespace update
