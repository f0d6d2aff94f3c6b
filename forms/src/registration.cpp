#include <mutex>

#include "forms/buttons.h"
#include "forms/controls.h"
#include "forms/ext_ctrls.h"
#include "forms/forms.h"
#include "forms/menus.h"
#include "forms/std_ctrls.h"
#include "vcl/properties.h"

namespace forms {

void RegisterFormsClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    vcl::RegisterClass<TForm>();
    vcl::RegisterClass<TLabel>();
    vcl::RegisterClass<TPanel>();
    vcl::RegisterClass<TBitBtn>();
    vcl::RegisterClass<TPopupMenu>();
    vcl::RegisterClass<TMenuItem>();
  });
}

}  // namespace forms
