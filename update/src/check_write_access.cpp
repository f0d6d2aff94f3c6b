#include <string_view>

#include "forms/dialogs.h"
#include "kernel/files.h"
#include "update/utilities.h"

namespace update {
namespace {

constexpr int kLastProbeNumber = 999;
constexpr std::string_view kProbeContent =
    "This file can be deleted safely.\r\n"
    "Created to test your access rights.\r\n";

bool NameTaken(const std::string& path) {
  return kernel::GetFileAttributesA(path.c_str()) != kernel::INVALID_FILE_ATTRIBUTES;
}

// Creates, writes and closes the probe; true when every step succeeded. CREATE_NEW: a file that
// appeared under the chosen name since it was found free is never overwritten.
bool WriteProbe(const std::string& path) {
  const kernel::HANDLE file =
      kernel::CreateFileA(path.c_str(), kernel::GENERIC_WRITE, 0, nullptr, kernel::CREATE_NEW,
                          kernel::FILE_ATTRIBUTE_NORMAL, 0);
  if (file == kernel::INVALID_HANDLE_VALUE) return false;
  std::uint32_t written = 0;
  const bool wrote =
      kernel::WriteFile(file, kProbeContent.data(),
                        static_cast<std::uint32_t>(kProbeContent.size()), &written, nullptr) &&
      written == kProbeContent.size();
  const bool closed = kernel::CloseHandle(file);
  return wrote && closed;
}

}  // namespace

std::string ProbeFileName(const std::string& directory, int number) {
  std::string name = directory;
  if (name.empty() || name.back() != '/') name += '/';
  return name + "@TEMP" + std::to_string(number) + ".TMP";
}

bool CheckWriteAccess(const std::string& directory) {
  std::string probe;
  for (int n = 1; n <= kLastProbeNumber && probe.empty(); ++n) {
    std::string candidate = ProbeFileName(directory, n);
    if (!NameTaken(candidate)) probe = std::move(candidate);
  }
  // No free name means nothing can be proven writable: report it like a failed probe rather than
  // touch a file that is not ours.
  if (probe.empty() || !WriteProbe(probe)) {
    forms::MessageDlg("You do not have WRITE-ACCESS to\r\nDirectory: " + directory,
                      forms::TMsgDlgType::mtError, forms::mbOKOnly);
    return false;
  }
  kernel::DeleteFileA(probe.c_str());
  return true;
}

}  // namespace update
