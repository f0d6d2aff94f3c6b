// The file and program utilities on a real display: every message box is a real box answered
// through the forms layer's seam; files and folders are real, unwritable ones on a read-only or
// full tmpfs.

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "forms/display.h"
#include "update/utilities.h"
#include "update_test_support.h"

namespace updatetest {
namespace {

using forms::mrNo;
using forms::mrYes;

class UtilitiesTest : public ::testing::Test {
 protected:
  void SetUp() override { forms::InitializeDisplay(); }
  testsupport::TempDir dir_{"ou-update-utils"};
};

std::string Upper(std::string text) {  // the test folders' names are plain ASCII
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// ---- DeleteFileConfirm

TEST_F(UtilitiesTest, DeleteFileConfirmAsksTwiceReportsFailuresAndUpperCasesOnlyAscii) {
  // Lower-case and accented letters: only a to z are upper-cased in the questions.
  const std::string name = "Setup-\xC3\xBC\x62\x65r \xC3\xA4 v2.exe";  // "Setup-über ä v2.exe"
  const std::string shown = Upper(dir_.path()) +
                            "/SETUP-\xC3\xBC"
                            "BER \xC3\xA4 V2.EXE";
  const std::string ask1 = "Confirm|DELETE File " + shown + " ?";
  const std::string ask2 = "Confirm|Are you sure to DELETE " + shown + " ?";
  const std::string failed = "Error|ERROR Delete File !\r\n" + shown;
  struct Case {
    const char* what;
    bool exists;
    bool deletable;
    bool confirm;
    bool show_error;
    std::vector<forms::TModalResult> answers;
    bool result;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"missing, plain", false, true, false, false, {}, true, {}},
      {"missing, with questions and report", false, true, true, true, {}, true, {}},
      {"deleted without asking", true, true, false, true, {}, true, {}},
      {"No to the first question", true, true, true, true, {mrNo}, false, {ask1}},
      {"No to the second question", true, true, true, true, {mrYes, mrNo}, false, {ask1, ask2}},
      {"Yes to both", true, true, true, true, {mrYes, mrYes}, true, {ask1, ask2}},
      {"failure reported", true, false, false, true, {}, false, {failed}},
      {"failure after both questions",
       true,
       false,
       true,
       true,
       {mrYes, mrYes},
       false,
       {ask1, ask2, failed}},
      {"failure silent", true, false, false, false, {}, false, {}},
  };
  const std::string path = dir_.path() + "/" + name;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(path);
    if (c.exists) {
      dir_.Write(name, "old installer");
      // A file without write bits is read-only, and refuses deletion also to root.
      if (!c.deletable) {
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
      }
    }
    MessageBoxes boxes;
    for (forms::TModalResult answer : c.answers) boxes.Queue(answer);
    EXPECT_EQ(update::DeleteFileConfirm(path, c.confirm, c.show_error), c.result);
    EXPECT_EQ(boxes.Shown(), c.boxes);
    const bool gone = c.exists && c.result;
    EXPECT_EQ(FileExists(path), c.exists && !gone);
    if (c.exists && !c.deletable) ::chmod(path.c_str(), 0644);
  }
  // A folder of that name is no file: nothing to delete, nothing asked.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  MessageBoxes boxes;
  EXPECT_TRUE(update::DeleteFileConfirm(path, true, true));
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST(UpperCaseAscii, ChangesOnlyTheLettersAToZ) {
  EXPECT_EQ(update::UpperCaseAscii("az AZ 09 _-~ \xC3\xA4\xC3\xBC \xE9 {z}"),
            "AZ AZ 09 _-~ \xC3\xA4\xC3\xBC \xE9 {Z}");
}

// ---- RunProgram

TEST_F(UtilitiesTest, RunProgramAsksWithTheNameUnchangedAndReportsShellFailures) {
  const std::string program = "/opt/Tavelo/VpayWin7.exe";
  const std::string long_params(200, 'p');  // beyond the 79 characters of a fixed buffer
  struct Case {
    const char* what;
    bool confirm;
    std::vector<forms::TModalResult> answers;
    shell::HINSTANCE shell_result;
    std::uint32_t last_error;
    bool result;
    bool shell_called;
    std::vector<std::string> boxes;
  };
  const std::string question = "Confirm|OPEN File " + program + " ?";
  const std::string failure = "Error|ERROR Execute Program !\r\nProgram: " + program + "\r\n";
  const Case cases[] = {
      {"No starts nothing", true, {mrNo}, 42, 0, false, false, {question}},
      {"Yes starts it", true, {mrYes}, 42, 0, true, true, {question}},
      {"no question", false, {}, 33, 0, true, true, {}},
      {"32 is a failure",
       false,
       {},
       32,
       32,
       false,
       true,
       {failure +
        "Error 32: The process cannot access the file because it is being used by another "
        "process."}},
      {"no association",
       true,
       {mrYes},
       31,
       1155,
       false,
       true,
       {question, failure +
                      "Error 31: No application is associated with the specified file for this "
                      "operation."}},
      {"out of resources",
       false,
       {},
       0,
       8,
       false,
       true,
       {failure + "Error 0: Not enough memory resources are available to process this command."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MessageBoxes boxes;
    for (forms::TModalResult answer : c.answers) boxes.Queue(answer);
    ShellRecorder shell;
    shell.result = c.shell_result;
    shell.last_error = c.last_error;
    EXPECT_EQ(update::RunProgram(program, long_params, "/opt/Tavelo", 0, c.confirm), c.result);
    EXPECT_EQ(boxes.Shown(), c.boxes);
    if (c.shell_called) {
      // The default verb, every text whole, the show command as given.
      EXPECT_EQ(shell.calls,
                (std::vector<ShellRecorder::Call>{{true, program, long_params, "/opt/Tavelo", 0}}));
    } else {
      EXPECT_TRUE(shell.calls.empty());
    }
  }
}

TEST_F(UtilitiesTest, RunProgramThroughTheRealShell) {
  // A real program runs; a missing file and a missing folder give the shell's number and the
  // system's text for the last error.
  const std::string marker = dir_.File("ran");
  const std::string script =
      dir_.Write("setup.sh", "#!/bin/sh\necho \"$1\" > \"" + marker + "\"\n");
  ::chmod(script.c_str(), 0755);
  {
    MessageBoxes boxes;
    EXPECT_TRUE(update::RunProgram(script, "hello", "", 0, false));
    EXPECT_TRUE(PumpUntil([&] { return FileContent(marker) == "hello\n"; }, 10s));
    EXPECT_TRUE(boxes.Shown().empty());
  }
  struct Case {
    std::string file;
    std::string directory;
    std::string error;
  };
  const Case cases[] = {
      {dir_.File("missing.exe"), "", "Error 2: The system cannot find the file specified."},
      {script, dir_.File("no-such-folder"), "Error 3: The system cannot find the path specified."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " in " + c.directory);
    MessageBoxes boxes;
    EXPECT_FALSE(update::RunProgram(c.file, "", c.directory, 1, false));
    EXPECT_EQ(boxes.Shown(),
              (std::vector<std::string>{"Error|ERROR Execute Program !\r\nProgram: " + c.file +
                                        "\r\n" + c.error}));
  }
}

// ---- CheckWriteAccess

// What happens to files in a folder, by name, while a probe runs.
class FolderWatch {
 public:
  explicit FolderWatch(const std::string& folder) : fd_(inotify_init1(IN_NONBLOCK)) {
    inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_CLOSE_WRITE | IN_DELETE | IN_MODIFY);
  }
  ~FolderWatch() { ::close(fd_); }
  // "create @TEMP3.TMP", "modify ...", "close ...", "delete ..." in order; consecutive modify
  // events are one.
  std::vector<std::string> Events() {
    std::vector<std::string> events;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, sizeof buffer);
      if (got <= 0) break;
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        const std::string name = event->len > 0 ? event->name : "";
        const char* kind = (event->mask & IN_CREATE)        ? "create"
                           : (event->mask & IN_MODIFY)      ? "modify"
                           : (event->mask & IN_CLOSE_WRITE) ? "close"
                                                            : "delete";
        const std::string line = std::string(kind) + " " + name;
        if (events.empty() || events.back() != line || line.rfind("modify", 0) != 0) {
          events.push_back(line);
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return events;
  }

 private:
  int fd_;
};

TEST_F(UtilitiesTest, ProbeNamesTakeTheFolderWithOneDelimiter) {
  EXPECT_EQ(update::ProbeFileName("/srv/app", 1), "/srv/app/@TEMP1.TMP");
  EXPECT_EQ(update::ProbeFileName("/srv/app/", 42), "/srv/app/@TEMP42.TMP");
  EXPECT_EQ(update::ProbeFileName("/", 999), "/@TEMP999.TMP");
}

TEST_F(UtilitiesTest, ProbeUsesTheFirstFreeNumberAndLeavesTheOthersAlone) {
  dir_.Write("@TEMP1.TMP", "one");
  dir_.Write("@TEMP2.TMP", "two");
  for (const std::string& folder : {dir_.path(), dir_.path() + "/"}) {
    SCOPED_TRACE(folder);
    MessageBoxes boxes;
    FolderWatch watch(dir_.path());
    EXPECT_TRUE(update::CheckWriteAccess(folder));
    EXPECT_EQ(watch.Events(), (std::vector<std::string>{"create @TEMP3.TMP", "modify @TEMP3.TMP",
                                                        "close @TEMP3.TMP", "delete @TEMP3.TMP"}));
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(FolderNames(dir_.path()), (std::vector<std::string>{"@TEMP1.TMP", "@TEMP2.TMP"}));
    EXPECT_EQ(FileContent(dir_.File("@TEMP1.TMP")), "one");
    EXPECT_EQ(FileContent(dir_.File("@TEMP2.TMP")), "two");
  }
}

TEST_F(UtilitiesTest, ProbeThatCannotBeDeletedStaysSilentlyWithItsTwoLines) {
  // Created without write bits (umask), the probe refuses deletion: it is left, and the folder
  // still counts as writable.
  const mode_t saved = ::umask(0222);
  MessageBoxes boxes;
  const bool writable = update::CheckWriteAccess(dir_.path());
  ::umask(saved);
  EXPECT_TRUE(writable);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(FileContent(dir_.File("@TEMP1.TMP")),
            "This file can be deleted safely.\r\nCreated to test your access rights.\r\n");
}

TEST_F(UtilitiesTest, FoldersThatRefuseTheProbeGiveOnlyTheWriteAccessMessage) {
  std::string why;
  auto read_only = TmpfsMount::Create(1 << 20, why);
  if (!read_only) GTEST_SKIP() << why;
  const std::string old_file = read_only->path() + "/VPAYWIN7.EXE";
  { std::ofstream(old_file) << "old"; }
  ASSERT_TRUE(read_only->MakeReadOnly());
  auto full = TmpfsMount::Create(4096, why);
  ASSERT_TRUE(full) << why;
  { std::ofstream(full->path() + "/filler") << std::string(4096, 'x'); }
  struct Case {
    const char* what;
    std::string folder;
    std::vector<std::string> left_behind;
  };
  const Case cases[] = {
      {"read-only", read_only->path(), {"VPAYWIN7.EXE"}},
      {"read-only, with delimiter", read_only->path() + "/", {"VPAYWIN7.EXE"}},
      // Created, but the write fails: the probe stays, only the message is shown.
      {"full", full->path(), {"@TEMP1.TMP", "filler"}},
      {"missing", dir_.File("no-such-folder"), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MessageBoxes boxes;
    EXPECT_FALSE(update::CheckWriteAccess(c.folder));
    EXPECT_EQ(boxes.Shown(),
              (std::vector<std::string>{"Error|You do not have WRITE-ACCESS to\r\nDirectory: " +
                                        c.folder}));
    std::string folder = c.folder;
    if (folder.back() == '/') folder.pop_back();
    EXPECT_EQ(FolderNames(folder), c.left_behind);
  }
  EXPECT_EQ(FileContent(old_file), "old");
}

TEST_F(UtilitiesTest, AllProbeNamesTakenCountsAsNotWritableAndTouchesNothing) {
  for (int n = 1; n <= 999; ++n) dir_.Write("@TEMP" + std::to_string(n) + ".TMP", "");
  MessageBoxes boxes;
  FolderWatch watch(dir_.path());
  EXPECT_FALSE(update::CheckWriteAccess(dir_.path()));
  EXPECT_EQ(boxes.Shown(),
            (std::vector<std::string>{"Error|You do not have WRITE-ACCESS to\r\nDirectory: " +
                                      dir_.path()}));
  EXPECT_TRUE(watch.Events().empty());
  EXPECT_EQ(FolderNames(dir_.path()).size(), 999u);
}

}  // namespace
}  // namespace updatetest
