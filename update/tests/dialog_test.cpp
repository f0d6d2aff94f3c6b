// The update dialog on a real display with the real transfer component against a real nginx on
// loopback. Message boxes and the product menu are real windows answered through the forms
// layer's seams; the shell and the process end are recorded instead of run.

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "forms/display.h"
#include "testsupport/nginx_server.h"
#include "update/iupdate.h"
#include "update/program.h"
#include "update_test_support.h"
#include "vcl/component.h"
#include "vcl/streams.h"
#include "x_input.h"

namespace updatetest {
namespace {

using forms::testing::PopupMenuInfo;
using forms::testing::ScopedPopupMenuResponder;
using update::TfOnlineDownload;

std::string State(const TfOnlineDownload& d) {
  const bool ok = d.bOk->Enabled(), cancel = d.bCancel->Enabled(), stop = d.bStop->Enabled();
  if (ok && cancel && !stop) return "idle";
  if (!ok && !cancel && stop) return "transferring";
  return "mixed";
}

std::string Host(const testsupport::NginxServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

// nginx that hands out /downloads/ slowly enough to stop or close a transfer halfway.
testsupport::NginxOptions SlowDownloads() {
  testsupport::NginxOptions options;
  options.extra_server_config = "    location /downloads/ { limit_rate 256k; }";
  return options;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    forms::InitializeDisplay();
    dialog_ = vcl::MakeComponent<TfOnlineDownload>();
    dialog_->EnableButtons(true);
  }

  // Runs `original` (the dialog's own handler) and records the moment: whether the old installer
  // is still there, and the progress text.
  void WatchProgress() {
    const winhttp::TWinHTTPProgressEvent original = dialog_->WinHTTP1->OnProgress;
    dialog_->WinHTTP1->OnProgress = winhttp::TWinHTTPProgressEvent(
        [this, original](vcl::TObject* sender, const std::string& type, std::int32_t size,
                         std::int32_t read, std::int32_t elapsed, std::int32_t left,
                         std::uint8_t percent, float rate, vcl::TStream* stream) {
          original(sender, type, size, read, elapsed, left, percent, rate, stream);
          ++progress_events_;
          target_existed_during_transfer_ |= FileExists(dialog_->TargetFileName());
        });
  }

  std::string Folder() const { return dir_.path() + "/"; }

  testsupport::TempDir dir_{"ou-update-dialog"};
  update::testing::ScopedProgramFile program_file_{dir_.File("online_update")};
  vcl::ComponentPtr<TfOnlineDownload> dialog_;
  int progress_events_ = 0;
  bool target_existed_during_transfer_ = false;
};

TEST_F(DialogTest, StartsIdleWithTheLayoutAndTextsOfItsFormResource) {
  TfOnlineDownload& d = *dialog_;
  EXPECT_EQ(State(d), "idle");
  EXPECT_FALSE(d.Stopped());
  EXPECT_EQ(d.Caption(), "Online Update");
  EXPECT_EQ(d.ClientWidth(), 538);
  EXPECT_EQ(d.ClientHeight(), 205);
  EXPECT_EQ(d.Color(), forms::clTeal);
  EXPECT_EQ(d.BorderStyle(), forms::TFormBorderStyle::bsDialog);
  EXPECT_EQ(d.BorderIcons(), forms::TBorderIcons{forms::TBorderIcon::biSystemMenu});
  EXPECT_EQ(d.Position(), forms::TPosition::poScreenCenter);
  EXPECT_EQ(d.Font()->Name(), "Arial");
  EXPECT_EQ(d.Font()->Height(), -11);
  EXPECT_EQ(d.Font()->Color(), forms::clBlack);

  const forms::TFontStyles bold{forms::TFontStyle::fsBold};
  struct Control {
    forms::TControl* control;
    forms::TRect bounds;
    std::string caption;
    forms::TColor font_color;
    forms::TFontStyles style;
    int font_height;
    int tab_order;  // -1: not a windowed control
    bool enabled;
  };
  const Control controls[] = {
      {d.Label1, {8, 16, 249, 24}, "Tavelo - ONLINE Update", forms::clLime, bold, -21, -1, true},
      {d.Panel1,
       {8, 48, 521, 17},
       "Kindly request ALL USERS to exit program !",
       forms::clBlack,
       bold,
       -11,
       3,
       true},
      {d.Panel2,
       {8, 64, 521, 17},
       "If required, you might need to DISABLE or STOP your Antivirus Program",
       forms::clBlack,
       {},
       -11,
       4,
       true},
      {d.InfoLabel,
       {8, 96, 520, 28},
       "Click on DOWNLOAD to begin software update via internet. Password might be required "
       "during installation .",
       forms::clWhite,
       bold,
       -11,
       -1,
       true},
      {d.bOk, {8, 160, 89, 27}, "&Download", forms::clBlack, {}, -11, 1, true},
      {d.bCancel, {104, 160, 89, 27}, "&Cancel", forms::clBlack, {}, -11, 2, true},
      {d.bStop, {440, 160, 89, 27}, "Stop", forms::clBlack, {}, -11, 0, false},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.control->Name());
    EXPECT_EQ(c.control->Parent(), &d);
    EXPECT_EQ(c.control->Caption(), c.caption);
    EXPECT_EQ(c.control->Font()->Name(), "Arial");
    EXPECT_EQ(c.control->Font()->Color(), c.font_color);
    EXPECT_EQ(c.control->Font()->Style(), c.style);
    EXPECT_EQ(c.control->Font()->Height(), c.font_height);
    EXPECT_EQ(c.control->Enabled(), c.enabled);
    if (auto* windowed = dynamic_cast<forms::TWinControl*>(c.control)) {
      EXPECT_EQ(windowed->TabOrder(), c.tab_order);
    }
    // Labels size themselves to their text; the rest stand exactly where the resource says.
    if (c.control != d.Label1 && c.control != d.InfoLabel) {
      EXPECT_EQ(c.control->BoundsRect(), c.bounds);
    } else {
      EXPECT_EQ(c.control->Left(), c.bounds.left);
      EXPECT_EQ(c.control->Top(), c.bounds.top);
    }
  }
  EXPECT_EQ(d.InfoLabel->Width(), 520);
  EXPECT_TRUE(d.InfoLabel->WordWrap());
  EXPECT_TRUE(d.InfoLabel->Transparent());
  EXPECT_TRUE(d.InfoLabel->AutoSize());
  for (forms::TPanel* panel : {d.Panel1, d.Panel2}) {
    EXPECT_EQ(panel->BevelOuter(), forms::TBevelCut::bvNone);
    EXPECT_EQ(panel->Color(), forms::clAqua);
  }

  // The pictures: 16-colour 18 x 18 images, olive being transparent.
  struct Glyph {
    forms::TBitBtn* button;
    int images;
    int margin;
  };
  for (const Glyph& g : {Glyph{d.bOk, 2, 4}, Glyph{d.bCancel, 2, 4}, Glyph{d.bStop, 1, -1}}) {
    SCOPED_TRACE(g.button->Name());
    EXPECT_EQ(g.button->NumGlyphs(), g.images);
    EXPECT_EQ(g.button->Margin(), g.margin);
    EXPECT_EQ(g.button->Layout(), forms::TButtonLayout::blGlyphLeft);
    EXPECT_EQ(g.button->Glyph()->Width(), 18 * g.images);
    EXPECT_EQ(g.button->Glyph()->Height(), 18);
    EXPECT_EQ(g.button->Glyph()->Bmp().at(28), 4);  // bits per pixel
    EXPECT_EQ(g.button->Glyph()->TransparentColor(), (forms::RGB{128, 128, 0}));
    EXPECT_FALSE(g.button->Default());
    EXPECT_FALSE(g.button->Cancel());
    EXPECT_EQ(g.button->ModalResult(), forms::mrNone);
  }
  // The download arrow is green when enabled and grey when disabled.
  EXPECT_EQ(d.bOk->Glyph()->Pixel(8, 4), (forms::RGB{0, 255, 0}));
  EXPECT_EQ(d.bOk->Glyph()->Pixel(18 + 8, 4), (forms::RGB{128, 128, 128}));

  // The menu: four entries in order, the third a separator.
  forms::TMenuItem* items = d.mPopupOption->Items();
  ASSERT_EQ(items->Count(), 4);
  const std::vector<std::pair<forms::TMenuItem*, std::string>> entries = {
      {d.DownloadfromTavelosite1, "Download VESTRA PAY for Windows"},
      {d.DownloadVESTRATMSforWindows1, "Download VESTRA TMS for Windows"},
      {d.N1, "-"},
      {d.ExploreDownloadFolder1, "Explore Download Folder..."}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(items->Items(i), entries[i].first);
    EXPECT_EQ(entries[i].first->Caption(), entries[i].second);
  }
  EXPECT_TRUE(d.N1->IsLine());
  EXPECT_FALSE(d.N1->OnClick.Assigned());

  // The transfer component: owned by the dialog, its defaults but for the agent stored
  // explicitly and always reloading, and the four events.
  winhttp::TWinHTTP& http = *d.WinHTTP1;
  EXPECT_EQ(http.Owner(), &d);
  EXPECT_EQ(http.Agent, winhttp::kDefaultAgent);
  EXPECT_EQ(http.CacheOptions,
            (winhttp::TCacheOptions{winhttp::coAlwaysReload, winhttp::coReloadIfNoExpireInformation,
                                    winhttp::coReloadUpdatedObjects,
                                    winhttp::coCreateTempFilesIfCantCache}));
  EXPECT_EQ(http.URL, "");
  EXPECT_EQ(http.OutputFileName, "");
  EXPECT_FALSE(http.WaitThread());
  EXPECT_EQ(http.OnDone.HandlerName(), "WinHTTP1Done");
  EXPECT_EQ(http.OnProgress.HandlerName(), "WinHTTP1Progress");
  EXPECT_EQ(http.OnAnyError.HandlerName(), "WinHTTP1AnyError");
  EXPECT_EQ(http.OnAborted.HandlerName(), "WinHTTP1Aborted");
  EXPECT_FALSE(http.OnHTTPError.Assigned());
  EXPECT_EQ(d.DownloadHost, update::kDownloadHost);
}

TEST_F(DialogTest, ProgramFolderIsTheProgramFilesFolderWithItsDelimiter) {
  EXPECT_EQ(dialog_->ProgramFolder(), Folder());
  update::testing::ScopedProgramFile bare("online_update");
  EXPECT_EQ(dialog_->ProgramFolder(), "./");
}

TEST_F(DialogTest, MenuOpensBelowTheDownloadButtonWhereverTheDialogStands) {
  for (const forms::TPoint& where : {forms::TPoint{40, 30}, forms::TPoint{700, 600}}) {
    SCOPED_TRACE(where.x);
    dialog_->SetPosition(forms::TPosition::poDesigned);
    dialog_->SetBounds(where.x, where.y, 538, 205);
    dialog_->ShowForm();
    ASSERT_TRUE(PumpUntil([&] { return dialog_->Painted(); }));
    MessageBoxes boxes;
    std::vector<PopupMenuInfo> menus;
    ScopedPopupMenuResponder responder([&](const PopupMenuInfo& info) {
      menus.push_back(info);
      return nullptr;
    });
    const forms::TPoint origin = dialog_->bOk->ClientOrigin();
    ClickAt(origin.x + 30, origin.y + 12);
    ASSERT_TRUE(PumpUntil([&] { return !menus.empty(); }));
    const forms::TPoint corner{where.x + 8, where.y + 160 + 27};
    EXPECT_EQ(menus[0].menu, dialog_->mPopupOption);
    EXPECT_EQ(menus[0].requested, corner);
    EXPECT_EQ((forms::TPoint{menus[0].bounds.left, menus[0].bounds.top}), corner);
    EXPECT_EQ(menus[0].entries.size(), 3u);  // the separator cannot be chosen
    // Nothing else happens: no transfer, no message.
    EXPECT_EQ(State(*dialog_), "idle");
    EXPECT_FALSE(dialog_->WinHTTP1->Busy());
    EXPECT_TRUE(boxes.Shown().empty());
    dialog_->Close();
  }
}

TEST_F(DialogTest, ProductEntryDownloadsItsInstallerAndEndsWithExitCode1WhateverTheAnswer) {
  testsupport::NginxServer server;
  const std::string pay = testsupport::PatternBytes(0, 5000);
  const std::string tms = testsupport::PatternBytes(7, 2047);
  server.WriteFile("downloads/vpaywin7.exe", pay);
  server.WriteFile("downloads/vtmswin.exe", tms);
  struct Case {
    int entry;  // among the menu's entries
    std::string file;
    std::string path;
    const std::string& content;
    forms::TModalResult answer;
  };
  const Case cases[] = {
      {0, "VPAYWIN7.EXE", "/downloads/vpaywin7.exe", pay, forms::mrNo},
      {1, "VTMSWIN.EXE", "/downloads/vtmswin.exe", tms, forms::mrYes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    dialog_ = vcl::MakeComponent<TfOnlineDownload>();
    dialog_->EnableButtons(true);
    dialog_->DownloadHost = Host(server);
    WatchProgress();
    target_existed_during_transfer_ = false;
    const std::string target = Folder() + c.file;
    dir_.Write(c.file, "old installer");
    MessageBoxes boxes;
    boxes.Queue(c.answer);
    ShellRecorder shell;
    ExitRecorder exits;
    ScopedPopupMenuResponder responder(
        [&](const PopupMenuInfo& info) { return info.entries.at(c.entry); });
    dialog_->bOk->Click();
    // The old copy went at once, without a question, and the buttons switched.
    EXPECT_EQ(State(*dialog_), "transferring");
    EXPECT_FALSE(FileExists(target));
    EXPECT_EQ(dialog_->TargetFileName(), target);
    EXPECT_EQ(dialog_->WinHTTP1->URL, Host(server) + c.path);
    ASSERT_TRUE(PumpUntil([&] { return !exits.codes.empty(); }));

    EXPECT_EQ(exits.codes, std::vector<int>{1});
    EXPECT_GE(progress_events_, 1);
    EXPECT_FALSE(target_existed_during_transfer_);
    EXPECT_EQ(boxes.Shown(), (std::vector<std::string>{"Confirm|OPEN File " + target + " ?"}));
    EXPECT_EQ(FileContent(target), c.content);
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IXUSR, 0u) << "the installer is saved as a program";
    if (c.answer == forms::mrYes) {
      EXPECT_EQ(shell.calls, (std::vector<ShellRecorder::Call>{{true, target, "", "", 0}}));
    } else {
      EXPECT_TRUE(shell.calls.empty());
    }
    EXPECT_EQ(dialog_->InfoLabel->Caption(), "Downloading " + Host(server) + c.path + "\r\n" +
                                                 std::to_string(c.content.size() / 1024) +
                                                 " KB\r\nTo " + target);
  }
}

TEST_F(DialogTest, ProgressTextShowsTheUrlWholeKilobytesAndTheTarget) {
  dialog_->WinHTTP1->URL = "download.example.com/downloads/vtmswin.exe";
  struct Case {
    std::int32_t bytes;
    std::string kilobytes;
  };
  const Case cases[] = {{0, "0"},
                        {1023, "0"},
                        {1024, "1"},
                        {2047, "1"},
                        {2048, "2"},
                        {104857600, "102400"},
                        {-1294967296, "2929687"}};  // 3000000000 bytes, handed over as Integer
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    dialog_->WinHTTP1Progress(dialog_->WinHTTP1, "application/octet-stream", 0, c.bytes, 0, 0, 0,
                              0.0f, nullptr);
    EXPECT_EQ(
        dialog_->InfoLabel->Caption(),
        "Downloading download.example.com/downloads/vtmswin.exe\r\n" + c.kilobytes + " KB\r\nTo ");
  }
}

TEST_F(DialogTest, FolderWithoutWriteAccessGivesOnlyItsMessage) {
  std::string why;
  auto mount = TmpfsMount::Create(1 << 20, why);
  if (!mount) GTEST_SKIP() << why;
  const std::string old_copy = mount->path() + "/VPAYWIN7.EXE";
  { std::ofstream(old_copy) << "old installer"; }
  ASSERT_TRUE(mount->MakeReadOnly());
  update::testing::ScopedProgramFile program(mount->path() + "/online_update");
  MessageBoxes boxes;
  ShellRecorder shell;
  ExitRecorder exits;
  dialog_->DownloadfromTavelosite1->Click();
  EXPECT_EQ(boxes.Shown(), (std::vector<std::string>{"Error|You do not have WRITE-ACCESS to\r\n"
                                                     "Directory: " +
                                                     mount->path() + "/"}));
  EXPECT_EQ(State(*dialog_), "idle");
  EXPECT_FALSE(dialog_->WinHTTP1->Busy());
  EXPECT_EQ(dialog_->WinHTTP1->URL, "");
  EXPECT_EQ(dialog_->TargetFileName(), "");
  EXPECT_FALSE(dialog_->Stopped());
  EXPECT_EQ(FileContent(old_copy), "old installer");
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_TRUE(exits.codes.empty());
}

TEST_F(DialogTest, StopEndsTheTransferAndTheButtonsReturnWhenTheAbortIsReported) {
  testsupport::NginxServer server(SlowDownloads());
  server.WriteFile("downloads/vpaywin7.exe", testsupport::PatternBytes(0, 4 << 20));
  dialog_->DownloadHost = Host(server);
  WatchProgress();
  MessageBoxes boxes;
  ShellRecorder shell;
  ExitRecorder exits;
  dialog_->DownloadfromTavelosite1->Click();
  ASSERT_TRUE(PumpUntil([&] { return progress_events_ > 0; }));
  dialog_->bStop->Click();
  EXPECT_TRUE(dialog_->Stopped());
  EXPECT_EQ(State(*dialog_), "transferring") << "the buttons wait for the component's report";
  ASSERT_TRUE(PumpUntil([&] { return State(*dialog_) == "idle"; }));
  EXPECT_TRUE(dialog_->Stopped());
  EXPECT_EQ(dialog_->InfoLabel->Caption().rfind("Downloading " + Host(server), 0), 0u)
      << "the progress text stays";
  // Sized to its three lines, and sizing itself again.
  EXPECT_TRUE(dialog_->InfoLabel->AutoSize());
  EXPECT_GE(dialog_->InfoLabel->Height(), 3 * 11);
  EXPECT_FALSE(FileExists(dialog_->TargetFileName()));
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_TRUE(exits.codes.empty());
}

TEST_F(DialogTest, CompletionRightAfterStopSavesTheFileButRunsNothing) {
  testsupport::NginxServer server(SlowDownloads());
  server.WriteFile("downloads/vtmswin.exe", testsupport::PatternBytes(0, 4 << 20));
  dialog_->DownloadHost = Host(server);
  MessageBoxes boxes;
  ShellRecorder shell;
  ExitRecorder exits;
  dialog_->DownloadVESTRATMSforWindows1->Click();
  ASSERT_EQ(State(*dialog_), "transferring");
  dialog_->bStop->Click();
  // The transfer had completed just before the stop reached it: the done event comes anyway.
  vcl::TMemoryStream stream;
  stream.WriteBuffer("payload", 7);
  dialog_->WinHTTP1Done(dialog_->WinHTTP1, "application/octet-stream", 7, &stream);
  EXPECT_EQ(FileContent(Folder() + "VTMSWIN.EXE"), "payload");
  EXPECT_EQ(State(*dialog_), "idle");
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_TRUE(exits.codes.empty());
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(DialogTest, FailedTransferReportsErrorDownloadAndReturnsToIdle) {
  testsupport::NginxServer server;  // serves no installer: 404
  const std::string refused = "127.0.0.1:" + std::to_string(testsupport::PickFreePort());
  for (const std::string& host : {Host(server), refused}) {
    SCOPED_TRACE(host);
    dialog_->DownloadHost = host;
    MessageBoxes boxes;
    ShellRecorder shell;
    ExitRecorder exits;
    dialog_->DownloadfromTavelosite1->Click();
    ASSERT_TRUE(PumpUntil([&] { return !boxes.boxes.empty(); }));
    EXPECT_EQ(boxes.Shown(), std::vector<std::string>{"Error|ERROR Download !"});
    EXPECT_EQ(State(*dialog_), "idle");
    EXPECT_TRUE(dialog_->Stopped());
    EXPECT_FALSE(FileExists(Folder() + "VPAYWIN7.EXE"));
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(exits.codes.empty());
  }
}

TEST_F(DialogTest, SaveFailureRemovesThePartialInstallerAsksNothingAndStaysIdle) {
  std::string why;
  auto small = TmpfsMount::Create(64 << 10, why);
  if (!small) GTEST_SKIP() << why;
  testsupport::NginxServer server;
  server.WriteFile("downloads/vpaywin7.exe", testsupport::PatternBytes(0, 256 << 10));
  server.WriteFile("downloads/vtmswin.exe", testsupport::PatternBytes(0, 10 << 10));
  update::testing::ScopedProgramFile program(small->path() + "/online_update");
  dialog_->DownloadHost = Host(server);
  const std::string pay = small->path() + "/VPAYWIN7.EXE";
  MessageBoxes boxes;
  ShellRecorder shell;
  ExitRecorder exits;
  dialog_->DownloadfromTavelosite1->Click();
  ASSERT_TRUE(PumpUntil([&] { return !boxes.boxes.empty(); }));
  EXPECT_EQ(boxes.Shown(), std::vector<std::string>{"Error|ERROR SaveToFile: " + pay +
                                                    "\r\nThere is not enough space on the disk."});
  EXPECT_FALSE(FileExists(pay)) << "a partial installer must not stay";
  EXPECT_EQ(State(*dialog_), "idle");
  EXPECT_TRUE(dialog_->Stopped());
  EXPECT_TRUE(exits.codes.empty());

  // The dialog goes on: a download that fits completes as usual.
  boxes.Queue(forms::mrNo);
  dialog_->DownloadVESTRATMSforWindows1->Click();
  ASSERT_TRUE(PumpUntil([&] { return !exits.codes.empty(); }));
  EXPECT_EQ(boxes.Shown().back(), "Confirm|OPEN File " + small->path() + "/VTMSWIN.EXE ?");
  EXPECT_EQ(exits.codes, std::vector<int>{1});
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(DialogTest, ExploreOpensTheProgramFolderWithoutAQuestion) {
  struct Case {
    shell::HINSTANCE result;
    std::uint32_t last_error;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {42, 0, {}},
      {2,
       2,
       {"Error|ERROR Execute Program !\r\nProgram: EXPLORER.EXE\r\n"
        "Error 2: The system cannot find the file specified."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    MessageBoxes boxes;
    ShellRecorder shell;
    shell.result = c.result;
    shell.last_error = c.last_error;
    ScopedPopupMenuResponder responder([&](const PopupMenuInfo& info) {
      return info.entries.back();  // Explore Download Folder...
    });
    dialog_->bOk->Click();
    EXPECT_EQ(shell.calls,
              (std::vector<ShellRecorder::Call>{{true, "EXPLORER.EXE", "/e," + Folder(), "", 1}}));
    EXPECT_EQ(boxes.Shown(), c.boxes);
    EXPECT_EQ(State(*dialog_), "idle");
  }
}

// ---- the program start: ShowOnlineUpdate

class ShowOnlineUpdateTest : public DialogTest {};

TEST_F(ShowOnlineUpdateTest, CancelClosesTheIdleDialog) {
  ExitRecorder exits;
  std::vector<std::string> seen;
  forms::testing::ScopedFormShownHook hook([&](forms::TForm& form) {
    auto& d = dynamic_cast<TfOnlineDownload&>(form);
    seen.push_back(State(d) + (d.Stopped() ? " stopped" : "") + " " + d.Label1->Caption());
    const forms::TPoint origin = d.bCancel->ClientOrigin();
    ClickAt(origin.x + 40, origin.y + 13);
  });
  update::ShowOnlineUpdate();
  EXPECT_EQ(seen, std::vector<std::string>{"idle Tavelo - ONLINE Update"});
  EXPECT_TRUE(exits.codes.empty());
}

TEST_F(ShowOnlineUpdateTest, CloseBoxDuringATransferEndsItAtOnce) {
  testsupport::NginxServer server(SlowDownloads());
  server.WriteFile("downloads/vpaywin7.exe", testsupport::PatternBytes(0, 8 << 20));
  ExitRecorder exits;
  MessageBoxes boxes;
  bool transferring = false;
  forms::testing::ScopedFormShownHook hook([&](forms::TForm& form) {
    auto& d = dynamic_cast<TfOnlineDownload&>(form);
    d.DownloadHost = Host(server);
    d.DownloadfromTavelosite1->Click();
    transferring = PumpUntil([&] { return d.InfoLabel->Caption().rfind("Downloading", 0) == 0; });
    SendCloseBox(d.XWindowId());
  });
  const auto start = std::chrono::steady_clock::now();
  update::ShowOnlineUpdate();  // returns once the dialog is closed and freed
  EXPECT_TRUE(transferring);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  EXPECT_TRUE(exits.codes.empty());
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_FALSE(FileExists(Folder() + "VPAYWIN7.EXE"));
}

}  // namespace
}  // namespace updatetest
