// TfOnlineDownload's operations and handlers.
#include <sys/stat.h>

#include <cstdint>
#include <vector>

#include "forms/dialogs.h"
#include "kernel/files.h"
#include "kernel/last_error.h"
#include "seams.h"
#include "shell/error_text.h"
#include "update/iupdate.h"
#include "update/program.h"
#include "update/utilities.h"

namespace update {
namespace {

// The installer is a program: here a file runs as one only with its execute bits, where the
// platform the dialog was made for runs any ".EXE" by its name. Whoever may read it may run it.
// A refusal is left to the shell to report when the file is started.
void MarkExecutable(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return;
  const mode_t readers = info.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
  ::chmod(path.c_str(), (info.st_mode & 07777) | (readers >> 2));
}

}  // namespace

void TfOnlineDownload::EnableButtons(bool enabled) {
  bOk->SetEnabled(enabled);
  bCancel->SetEnabled(enabled);
  bStop->SetEnabled(!enabled);
}

std::string TfOnlineDownload::ProgramFolder() const {
  const std::string file = detail::ProgramFile();
  const std::size_t slash = file.find_last_of('/');
  if (slash == std::string::npos) return "./";
  return file.substr(0, slash + 1);
}

void TfOnlineDownload::StartDownload(const std::string& url, const std::string& file_name) {
  const std::string folder = ProgramFolder();
  if (!CheckWriteAccess(folder)) return;
  target_file_name_ = folder;
  if (target_file_name_.empty() || target_file_name_.back() != '/') target_file_name_ += '/';
  target_file_name_ += file_name;
  DeleteFileConfirm(target_file_name_, /*confirm=*/false, /*show_error=*/true);
  EnableButtons(false);
  stopped_ = false;
  WinHTTP1->URL = url;
  WinHTTP1->Read(false);
}

void TfOnlineDownload::RunInstallerAndExit() {
  if (stopped_) return;
  RunProgram(target_file_name_, "", "", shell::SW_HIDE, /*confirm=*/true);
  ExitProgram(1);
}

bool TfOnlineDownload::SaveDownload(vcl::TStream* stream) {
  if (stream == nullptr) {  // not with the dialog's settings: nothing arrived to be saved
    kernel::SetLastError(kernel::ERROR_INVALID_PARAMETER);
    return false;
  }
  const kernel::HANDLE file =
      kernel::CreateFileA(target_file_name_.c_str(), kernel::GENERIC_WRITE, 0, nullptr,
                          kernel::CREATE_ALWAYS, kernel::FILE_ATTRIBUTE_NORMAL, 0);
  if (file == kernel::INVALID_HANDLE_VALUE) return false;
  // Block by block, so that the last error of a short write is still the thread's when we return.
  std::vector<std::uint8_t> block(std::size_t{1} << 16);
  bool complete = true;
  stream->SetPosition(0);
  for (;;) {
    const std::int64_t got = stream->Read(block.data(), static_cast<std::int64_t>(block.size()));
    if (got <= 0) break;
    std::uint32_t written = 0;
    if (!kernel::WriteFile(file, block.data(), static_cast<std::uint32_t>(got), &written,
                           nullptr) ||
        written != got) {
      complete = false;
      break;
    }
  }
  const std::uint32_t error = kernel::GetLastError();
  const bool closed = kernel::CloseHandle(file);
  if (!complete) {
    kernel::SetLastError(error);
    return false;
  }
  return closed;
}

// ---- handlers

void TfOnlineDownload::bOkClick(vcl::TObject*) {
  const forms::TPoint origin = bOk->ClientOrigin();
  mPopupOption->Popup(origin.x, origin.y + bOk->Height());
}

void TfOnlineDownload::bCancelClick(vcl::TObject*) {
  Close();
}

void TfOnlineDownload::bStopClick(vcl::TObject*) {
  stopped_ = true;
  WinHTTP1->Abort(/*delete_output_file=*/false, /*at_once=*/false);
}

void TfOnlineDownload::DownloadfromTavelosite1Click(vcl::TObject*) {
  StartDownload(DownloadHost + kPayInstallerPath, kPayInstallerFile);
}

void TfOnlineDownload::DownloadVESTRATMSforWindows1Click(vcl::TObject*) {
  StartDownload(DownloadHost + kTmsInstallerPath, kTmsInstallerFile);
}

void TfOnlineDownload::ExploreDownloadFolder1Click(vcl::TObject*) {
  RunProgram("EXPLORER.EXE", "/e," + ProgramFolder(), "", shell::SW_SHOWNORMAL,
             /*confirm=*/false);
}

void TfOnlineDownload::WinHTTP1Progress(vcl::TObject*, const std::string&, std::int32_t,
                                        std::int32_t bytes_read, std::int32_t, std::int32_t,
                                        std::uint8_t, float, vcl::TStream*) {
  // The component counts in 32-bit unsigned and hands the count over as a signed Integer: read it
  // back unsigned, so that an installer beyond 2 GiB does not show a negative size.
  const std::uint32_t kilobytes = static_cast<std::uint32_t>(bytes_read) / 1024;
  // Set on every event; the forms layer coalesces the repaints of a changing caption.
  InfoLabel->SetCaption("Downloading " + WinHTTP1->URL + "\r\n" + std::to_string(kilobytes) +
                        " KB\r\nTo " + target_file_name_);
  // The texts of one transfer differ only in the kilobyte count, which never wraps: the height
  // the label found for the first one holds until the transfer ends, so it need not measure its
  // wrapped text again for every block (that would cost more than the rest of the event).
  if (InfoLabel->AutoSize()) InfoLabel->SetAutoSize(false);
}

void TfOnlineDownload::ProgressEnded() {
  InfoLabel->SetAutoSize(true);
}

void TfOnlineDownload::WinHTTP1Done(vcl::TObject*, const std::string&, std::int32_t,
                                    vcl::TStream* stream) {
  ProgressEnded();
  if (!SaveDownload(stream)) {
    const std::uint32_t error = kernel::GetLastError();
    // A missing or partial installer must never be offered or run: remove what was written, say
    // why, and go back to idle so that the user can try again.
    kernel::DeleteFileA(target_file_name_.c_str());
    stopped_ = true;
    EnableButtons(true);
    forms::MessageDlg(
        "ERROR SaveToFile: " + target_file_name_ + "\r\n" + shell::SysErrorMessage(error),
        forms::TMsgDlgType::mtError, forms::mbOKOnly);
    return;
  }
  MarkExecutable(target_file_name_);
  RunInstallerAndExit();
  EnableButtons(true);
}

void TfOnlineDownload::WinHTTP1Aborted(vcl::TObject*) {
  ProgressEnded();
  stopped_ = true;
  EnableButtons(true);
}

void TfOnlineDownload::WinHTTP1AnyError(vcl::TObject*) {
  ProgressEnded();
  stopped_ = true;
  EnableButtons(true);
  forms::MessageDlg("ERROR Download !", forms::TMsgDlgType::mtError, forms::mbOKOnly);
}

}  // namespace update
