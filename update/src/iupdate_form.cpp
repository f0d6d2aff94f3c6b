// TfOnlineDownload's class table, its creation from the form resource and the registration of
// the classes that resource names.
#include <mutex>

#include "form_resource.h"
#include "forms/controls.h"
#include "update/iupdate.h"
#include "vcl/exceptions.h"
#include "vcl/form_file.h"

namespace update {
namespace {

// Binds a field to the component of that name that the form resource created. A missing or
// mistyped component is a fault of the built-in resource.
template <typename T>
void Bind(const TfOnlineDownload& form, T*& field, const char* name) {
  field = dynamic_cast<T*>(form.FindComponent(name));
  if (field == nullptr) {
    throw vcl::EReadError(std::string("Form resource of TfOnlineDownload lacks ") + name);
  }
}

}  // namespace

const vcl::ClassInfo& TfOnlineDownload::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TfOnlineDownload, forms::TForm>("TfOnlineDownload", [](auto& t) {
        using T = TfOnlineDownload;
        t.Method("bOkClick", &T::bOkClick);
        t.Method("bCancelClick", &T::bCancelClick);
        t.Method("bStopClick", &T::bStopClick);
        t.Method("DownloadfromTavelosite1Click", &T::DownloadfromTavelosite1Click);
        t.Method("DownloadVESTRATMSforWindows1Click", &T::DownloadVESTRATMSforWindows1Click);
        t.Method("ExploreDownloadFolder1Click", &T::ExploreDownloadFolder1Click);
        t.Method("WinHTTP1Progress", &T::WinHTTP1Progress);
        t.Method("WinHTTP1Done", &T::WinHTTP1Done);
        t.Method("WinHTTP1Aborted", &T::WinHTTP1Aborted);
        t.Method("WinHTTP1AnyError", &T::WinHTTP1AnyError);
      });
  return info;
}

void RegisterIupdateClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    forms::RegisterFormsClasses();
    winhttp::RegisterWinHTTP();
  });
}

TfOnlineDownload::TfOnlineDownload(vcl::TComponent* owner) : forms::TForm(owner) {
  RegisterIupdateClasses();
  vcl::ReadForm(*this, kIupdateForm);
  Bind(*this, InfoLabel, "InfoLabel");
  Bind(*this, WinHTTP1, "WinHTTP1");
  Bind(*this, bStop, "bStop");
  Bind(*this, bOk, "bOk");
  Bind(*this, bCancel, "bCancel");
  Bind(*this, Panel1, "Panel1");
  Bind(*this, Panel2, "Panel2");
  Bind(*this, Label1, "Label1");
  Bind(*this, mPopupOption, "mPopupOption");
  Bind(*this, DownloadfromTavelosite1, "DownloadfromTavelosite1");
  Bind(*this, DownloadVESTRATMSforWindows1, "DownloadVESTRATMSforWindows1");
  Bind(*this, N1, "N1");
  Bind(*this, ExploreDownloadFolder1, "ExploreDownloadFolder1");
}

}  // namespace update
