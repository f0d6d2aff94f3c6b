#include "forms/dialogs.h"
#include "kernel/files.h"
#include "update/utilities.h"

namespace update {
namespace {

bool FileExists(const std::string& file_name) {
  const std::uint32_t attributes = kernel::GetFileAttributesA(file_name.c_str());
  return attributes != kernel::INVALID_FILE_ATTRIBUTES &&
         (attributes & kernel::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Confirmed(const std::string& question) {
  return forms::MessageDlg(question, forms::TMsgDlgType::mtConfirmation, forms::mbYesNo) ==
         forms::mrYes;
}

}  // namespace

std::string UpperCaseAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool DeleteFileConfirm(const std::string& file_name, bool confirm, bool show_error) {
  if (!FileExists(file_name)) return true;
  const std::string shown = UpperCaseAscii(file_name);
  if (confirm) {
    if (!Confirmed("DELETE File " + shown + " ?")) return false;
    if (!Confirmed("Are you sure to DELETE " + shown + " ?")) return false;
  }
  const bool deleted = kernel::DeleteFileA(file_name.c_str());
  if (!deleted && show_error) {
    forms::MessageDlg("ERROR Delete File !\r\n" + shown, forms::TMsgDlgType::mtError,
                      forms::mbOKOnly);
  }
  return deleted;
}

}  // namespace update
