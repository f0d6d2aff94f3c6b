// The real program binaries, started as a user starts them and driven from outside with real X
// input; their exit codes are read by the parent. The production build (download host from the
// build) is only opened and closed, never made to download; the test build takes the host of a
// loopback nginx from its environment. Under AddressSanitizer both must end without a report,
// also when the done event ends the program while the transfer's worker is still inside its
// finish step.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "testsupport/nginx_server.h"
#include "update_test_support.h"
#include "x_input.h"

extern char** environ;

namespace updatetest {
namespace {

// A program started with posix_spawn, its standard output and error in `log`; killed and reaped
// when it goes.
class Program {
 public:
  Program(const std::string& binary, const std::vector<std::string>& environment,
          const std::string& log)
      : log_(log) {
    std::vector<std::string> env = environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::string name = text.substr(0, text.find('=') + 1);
      bool replaced = false;
      for (const std::string& own : environment) replaced |= own.rfind(name, 0) == 0;
      if (!replaced) env.push_back(text);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = binary;
    char* argv[] = {path.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int failed = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(failed, 0) << "cannot start " << binary << ": " << std::strerror(failed);
    if (failed != 0) pid_ = -1;
  }
  ~Program() {
    if (pid_ > 0 && !WaitExit(std::chrono::milliseconds(0))) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The exit code (128 + the signal after a signal), or nothing while it still runs at `limit`.
  std::optional<int> WaitExit(std::chrono::milliseconds limit) {
    if (exit_code_) return exit_code_;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      int status = 0;
      if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) {
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exit_code_;
      }
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  std::string Log() const { return FileContent(log_); }

 private:
  pid_t pid_ = -1;
  std::string log_;
  std::optional<int> exit_code_;
};

void ExpectCleanExit(const Program& program) {
  const std::string log = program.Log();
  EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
  EXPECT_EQ(log.find("runtime error"), std::string::npos) << log;
}

// Generous: the sanitizer builds start slowly on a loaded machine.
constexpr auto kAppear = 60s;

class ProgramTest : public ::testing::Test {
 protected:
  // The test build copied into a folder of its own: its folder is where it downloads to.
  std::string InstallTestBuild(const testsupport::TempDir& folder) {
    const std::string path = folder.File("online_update");
    std::filesystem::copy_file(ONLINE_UPDATE_TESTBUILD, path);
    return path;
  }

  // Clicks Download, waits for the product menu below it and picks the first product.
  void ChooseFirstProduct(const TopLevel& dialog) {
    ClickAt(dialog.bounds.left + 8 + 30, dialog.bounds.top + 160 + 13);
    const auto menu =
        WaitForWindowAt({dialog.bounds.left + 8, dialog.bounds.top + 160 + 27}, kAppear);
    ASSERT_TRUE(menu) << "the product menu did not open below the Download button";
    ClickAt(menu->bounds.left + 40, menu->bounds.top + 10);
  }

  testsupport::TempDir dir_{"ou-update-program"};
};

TEST_F(ProgramTest, ClosingTheDialogEndsWith0) {
  struct Case {
    const char* what;
    void (*close)(const TopLevel&);
  };
  const Case cases[] = {
      {"Cancel",
       [](const TopLevel& d) { ClickAt(d.bounds.left + 104 + 40, d.bounds.top + 160 + 13); }},
      {"close box", [](const TopLevel& d) { SendCloseBox(d.window); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Program program(ONLINE_UPDATE_PROGRAM, {}, dir_.File("log"));
    const auto dialog = WaitForWindow("Online Update", kAppear);
    ASSERT_TRUE(dialog) << program.Log();
    EXPECT_EQ(dialog->bounds.width, 538);
    EXPECT_EQ(dialog->bounds.height, 205);
    // A click or close request that reaches the window before it takes input is lost: repeat it
    // (a second one after the dialog has gone is harmless) until the program has ended.
    std::optional<int> code;
    for (int attempt = 0; attempt < 10 && !code; ++attempt) {
      c.close(*dialog);
      code = program.WaitExit(3s);
    }
    EXPECT_EQ(code, 0) << program.Log();
    ExpectCleanExit(program);
  }
}

TEST_F(ProgramTest, WithoutADisplayItSaysWhyAndEndsWith2) {
  Program program(ONLINE_UPDATE_PROGRAM, {"DISPLAY=:9999"}, dir_.File("log"));
  EXPECT_EQ(program.WaitExit(30s), 2);
  EXPECT_NE(program.Log().find("Online Update: "), std::string::npos) << program.Log();
  ExpectCleanExit(program);
}

TEST_F(ProgramTest, CompletedDownloadEndsWith1WhateverTheAnswer) {
  testsupport::NginxServer server;
  // A harmless installer whose run shows: it leaves a note next to itself.
  const std::string installer = "#!/bin/sh\necho installed > \"$(dirname \"$0\")/installed.txt\"\n";
  server.WriteFile("downloads/vpaywin7.exe", installer);
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "Yes" : "No");
    testsupport::TempDir folder("ou-update-installed");
    Program program(InstallTestBuild(folder),
                    {"OU_TEST_DOWNLOAD_HOST=127.0.0.1:" + std::to_string(server.port())},
                    dir_.File("log"));
    const auto dialog = WaitForWindow("Online Update", kAppear);
    ASSERT_TRUE(dialog) << program.Log();
    ChooseFirstProduct(*dialog);
    const auto box = WaitForWindow("Confirm", kAppear);
    ASSERT_TRUE(box) << program.Log();
    // Yes and No stand side by side in the middle of the box's bottom.
    const forms::TRect& b = box->bounds;
    ClickAt(b.left + b.width / 2 + (yes ? -40 : 40), b.top + b.height - 24);
    EXPECT_EQ(program.WaitExit(30s), 1);
    ExpectCleanExit(program);
    EXPECT_EQ(FileContent(folder.File("VPAYWIN7.EXE")), installer);
    if (yes) {
      const auto deadline = std::chrono::steady_clock::now() + 10s;
      while (!FileExists(folder.File("installed.txt")) &&
             std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      EXPECT_EQ(FileContent(folder.File("installed.txt")), "installed\n");
    } else {
      EXPECT_FALSE(FileExists(folder.File("installed.txt")));
    }
  }
}

TEST_F(ProgramTest, CloseBoxDuringATransferEndsWith0AtOnce) {
  testsupport::NginxOptions slow;
  slow.extra_server_config = "    location /downloads/ { limit_rate 256k; }";
  testsupport::NginxServer server(slow);
  server.WriteFile("downloads/vpaywin7.exe", testsupport::PatternBytes(0, 16 << 20));
  testsupport::TempDir folder("ou-update-installed");
  Program program(InstallTestBuild(folder),
                  {"OU_TEST_DOWNLOAD_HOST=127.0.0.1:" + std::to_string(server.port())},
                  dir_.File("log"));
  const auto dialog = WaitForWindow("Online Update", kAppear);
  ASSERT_TRUE(dialog) << program.Log();
  ChooseFirstProduct(*dialog);
  const auto deadline = std::chrono::steady_clock::now() + kAppear;
  while (program.Log().find("transfer running") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_NE(program.Log().find("transfer running"), std::string::npos) << program.Log();
  const auto closed = std::chrono::steady_clock::now();
  SendCloseBox(dialog->window);
  EXPECT_EQ(program.WaitExit(30s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - closed, 10s);
  ExpectCleanExit(program);
  EXPECT_FALSE(FileExists(folder.File("VPAYWIN7.EXE")));
}

}  // namespace
}  // namespace updatetest
