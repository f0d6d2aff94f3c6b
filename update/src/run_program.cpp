#include "forms/dialogs.h"
#include "kernel/last_error.h"
#include "seams.h"
#include "shell/error_text.h"
#include "update/utilities.h"
#include "user/window.h"

namespace update {

bool RunProgram(const std::string& file_name, const std::string& params,
                const std::string& directory, std::int32_t show_cmd, bool confirm) {
  if (confirm &&
      forms::MessageDlg("OPEN File " + file_name + " ?", forms::TMsgDlgType::mtConfirmation,
                        forms::mbYesNo) != forms::mrYes) {
    return false;
  }
  // The texts go whole: the shell stand-in takes any length, so nothing is cut to the 79
  // characters a fixed buffer would hold.
  const shell::HINSTANCE result = detail::ShellExecute(user::kNoWindow, nullptr, file_name.c_str(),
                                                       params.c_str(), directory.c_str(), show_cmd);
  const std::uint32_t error = kernel::GetLastError();  // before anything else can change it
  if (static_cast<std::uintptr_t>(result) > 32) return true;
  forms::MessageDlg("ERROR Execute Program !\r\nProgram: " + file_name + "\r\nError " +
                        std::to_string(result) + ": " + shell::SysErrorMessage(error),
                    forms::TMsgDlgType::mtError, forms::mbOKOnly);
  return false;
}

}  // namespace update
