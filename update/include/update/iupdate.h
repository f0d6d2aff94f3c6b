// Unit Iupdate: the "Online Update" dialog, TfOnlineDownload, and ShowOnlineUpdate, which the
// program start calls.
//
// The dialog is created from its form resource (update/iupdate_form.txt, built into the program):
// a title, two notice lines, an instruction text that becomes the progress text, the buttons
// Download, Cancel and Stop, the product menu that Download opens, and the transfer component
// WinHTTP1. A product entry probes the program's folder for write access, deletes an old copy of
// the installer without asking, and starts the download into memory; the done event writes the
// installer, asks whether to open it, starts it and ends the program with exit code 1.
//
// Button states: idle (Download and Cancel enabled, Stop disabled) and transferring (the
// reverse), switched by EnableButtons.
//
// Ownership: the dialog owns its controls, its menu and WinHTTP1 (the component ownership
// model); closing and freeing the dialog frees the component, which ends a running transfer at
// once.
//
// Threads: main thread only. The component delivers the four events handled here on the main
// thread, so Stopped, TargetFileName and the controls need no lock.
//
// Failures: nothing is thrown for what the user or the network does: every failure is reported
// in a modal message box (the utilities of update/utilities.h report their own). The constructor
// throws vcl::EReadError if the form resource does not fit the classes (a build fault).
// RunInstallerAndExit ends the process (update/program.h), from inside the done event.
#pragma once

#include <cstdint>
#include <string>

#include "forms/buttons.h"
#include "forms/ext_ctrls.h"
#include "forms/forms.h"
#include "forms/menus.h"
#include "forms/std_ctrls.h"
#include "vcl/streams.h"
#include "winhttp/win_http.h"

namespace update {

// The maker's download server's host name, without scheme: a setting of the build
// (OU_DOWNLOAD_HOST). The product paths follow it.
extern const char* const kDownloadHost;

// The two products of the menu: path below the download host, and the installer's file name.
inline constexpr const char* kPayInstallerPath = "/downloads/vpaywin7.exe";
inline constexpr const char* kPayInstallerFile = "VPAYWIN7.EXE";
inline constexpr const char* kTmsInstallerPath = "/downloads/vtmswin.exe";
inline constexpr const char* kTmsInstallerFile = "VTMSWIN.EXE";

class TfOnlineDownload : public forms::TForm {
 public:
  VCL_CLASS(TfOnlineDownload)

  // Reads the form resource: every control, the menu and WinHTTP1 are created and bound to the
  // fields below. `owner` may be null (then free it yourself; ShowOnlineUpdate does).
  explicit TfOnlineDownload(vcl::TComponent* owner);

  // ---- the form's components, in declaration order (owned by the form)
  forms::TLabel* InfoLabel = nullptr;
  winhttp::TWinHTTP* WinHTTP1 = nullptr;
  forms::TBitBtn* bStop = nullptr;
  forms::TBitBtn* bOk = nullptr;
  forms::TBitBtn* bCancel = nullptr;
  forms::TPanel* Panel1 = nullptr;
  forms::TPanel* Panel2 = nullptr;
  forms::TLabel* Label1 = nullptr;
  forms::TPopupMenu* mPopupOption = nullptr;
  forms::TMenuItem* DownloadfromTavelosite1 = nullptr;
  forms::TMenuItem* DownloadVESTRATMSforWindows1 = nullptr;
  forms::TMenuItem* N1 = nullptr;
  forms::TMenuItem* ExploreDownloadFolder1 = nullptr;

  // Where the product entries download from: kDownloadHost, unless a test points the dialog at a
  // server of its own before the entry is chosen.
  std::string DownloadHost = kDownloadHost;

  // bOk and bCancel take `enabled`, bStop its negation.
  void EnableButtons(bool enabled);
  // The folder of the running program file, ending with '/'.
  std::string ProgramFolder() const;
  // One download of `url` (host and path, no scheme) into `file_name` in the program's folder:
  // probe, delete the old copy, switch to transferring, Read. Nothing happens beyond the probe's
  // message when the folder cannot be written.
  void StartDownload(const std::string& url, const std::string& file_name);
  // Unless Stopped: offer to open TargetFileName, then end the program with exit code 1.
  void RunInstallerAndExit();

  // Set when the running or last transfer was stopped, aborted or failed: the downloaded file is
  // then not run. Read-only here (for tests); the handlers and ShowOnlineUpdate set it.
  bool Stopped() const noexcept { return stopped_; }
  // The full path the current transfer writes (empty before the first accepted download).
  const std::string& TargetFileName() const noexcept { return target_file_name_; }

  // ---- handlers, published for the form resource
  void bOkClick(vcl::TObject* sender);
  void bCancelClick(vcl::TObject* sender);
  void bStopClick(vcl::TObject* sender);
  void DownloadfromTavelosite1Click(vcl::TObject* sender);
  void DownloadVESTRATMSforWindows1Click(vcl::TObject* sender);
  void ExploreDownloadFolder1Click(vcl::TObject* sender);
  void WinHTTP1Progress(vcl::TObject* sender, const std::string& content_type,
                        std::int32_t data_size, std::int32_t bytes_read, std::int32_t elapsed_time,
                        std::int32_t estimated_time_left, std::uint8_t percents_done,
                        float transfer_rate, vcl::TStream* stream);
  void WinHTTP1Done(vcl::TObject* sender, const std::string& content_type, std::int32_t file_size,
                    vcl::TStream* stream);
  void WinHTTP1Aborted(vcl::TObject* sender);
  void WinHTTP1AnyError(vcl::TObject* sender);

 private:
  friend void ShowOnlineUpdate();
  // Writes the whole of `stream` to TargetFileName. False, with the thread's last error telling
  // why, when it could not be written completely.
  bool SaveDownload(vcl::TStream* stream);
  // The transfer's progress texts are over: InfoLabel sizes itself to its text again.
  void ProgressEnded();

  bool stopped_ = false;
  std::string target_file_name_;
};

// Creates the dialog without owner, puts its buttons in the idle state, clears Stopped, shows it
// modally and frees it afterwards (also when an exception leaves the modal show, which then
// propagates). Main thread. Throws forms::EDisplayError when there is no display.
void ShowOnlineUpdate();

// Registers the classes the dialog's form resource names (the forms layer's and TWinHTTP).
// Idempotent; any thread. The constructor calls it.
void RegisterIupdateClasses();

}  // namespace update
