// ShellExecuteA against real processes: a real executable script, and a stub xdg-open placed in
// PATH, so that no test ever opens a real desktop application.
#include "shell/shell_execute.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "kernel/last_error.h"
#include "shell/error_text.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void WriteScript(const fs::path& path, const std::string& body, bool executable = true) {
  std::ofstream(path) << body;
  ::chmod(path.c_str(), executable ? 0755 : 0644);
}

// Polls until `path` exists with a last line "done", within a bounded time.
bool WaitForDone(const fs::path& path) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::vector<std::string> lines = Lines(ReadFile(path));
    if (!lines.empty() && lines.back() == "done") return true;
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

class ShellExecuteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/shell_test_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    stubs_ = root_ / "stubs";
    fs::create_directory(stubs_);
    const char* path = std::getenv("PATH");
    saved_path_ = path != nullptr ? path : "/usr/bin:/bin";
    ::setenv("PATH", (stubs_.string() + ":" + saved_path_).c_str(), 1);
    ::setenv("STUB_LOG", (root_ / "opener.log").c_str(), 1);
    InstallOpener(0);
    kernel::SetLastError(0);
  }

  void TearDown() override {
    ::setenv("PATH", saved_path_.c_str(), 1);
    ::unsetenv("STUB_LOG");
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // A stand-in for xdg-open that records its argument and working folder, then exits with `code`.
  void InstallOpener(int code) {
    WriteScript(stubs_ / "xdg-open",
                "#!/bin/sh\nprintf '%s\\n' \"$1\" \"$(pwd)\" done > \"$STUB_LOG\"\n"
                "exit " +
                    std::to_string(code) + "\n");
  }

  std::vector<std::string> OpenerLog() {
    EXPECT_TRUE(WaitForDone(root_ / "opener.log"));
    return Lines(ReadFile(root_ / "opener.log"));
  }

  fs::path root_;
  fs::path stubs_;
  std::string saved_path_;
};

TEST_F(ShellExecuteTest, StartsExecutableWithArgumentsWholeInItsFolderWithoutOurDescriptors) {
  // A descriptor of ours without close-on-exec must not reach the child.
  const int leaked = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 0);
  ASSERT_GE(::dup2(leaked, 57), 0);
  const fs::path work = root_ / "work dir";
  fs::create_directory(work);
  const fs::path out = root_ / "args.out";
  WriteScript(
      root_ / "record.sh",
      "#!/bin/sh\nout='" + out.string() +
          "'\n"
          "{ echo \"pid=$$\"; echo \"pwd=$(pwd)\";"
          " if [ -e /proc/$$/fd/57 ]; then echo fd57=open; else echo fd57=closed; fi;"
          " for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done; echo done; } > \"$out\"\n");
  const std::string long_argument(300, 'x');
  const std::string parameters =
      "plain \"two words\" say\\\"hi \"\" back\\\\slash " + long_argument + " $HOME;`id`";

  const shell::HINSTANCE result =
      shell::ShellExecuteA(user::kNoWindow, nullptr, (root_ / "record.sh").c_str(),
                           parameters.c_str(), work.c_str(), shell::SW_HIDE);
  ::close(leaked);
  ::close(57);
  ASSERT_GT(result, 32);
  ASSERT_TRUE(WaitForDone(out));
  const std::vector<std::string> lines = Lines(ReadFile(out));
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[1], "pwd=" + work.string());
  EXPECT_EQ(lines[2], "fd57=closed");
  EXPECT_EQ(lines[3], "arg=plain");
  EXPECT_EQ(lines[4], "arg=two words");
  EXPECT_EQ(lines[5], "arg=say\"hi");
  EXPECT_EQ(lines[6], "arg=");
  EXPECT_EQ(lines[7], "arg=back\\\\slash");
  EXPECT_EQ(lines[8], "arg=" + long_argument);
  EXPECT_EQ(lines[9], "arg=$HOME;`id`");  // no shell between us and the program

  // The finished child is reaped: its process entry goes away instead of staying a zombie.
  const std::string proc = "/proc/" + lines[0].substr(4);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (fs::exists(proc) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_FALSE(fs::exists(proc)) << "child not reaped";
}

TEST_F(ShellExecuteTest, RelativeProgramIsFoundInTheGivenDirectory) {
  const fs::path out = root_ / "ran.out";
  WriteScript(root_ / "tool.sh", "#!/bin/sh\necho done > '" + out.string() + "'\n");
  EXPECT_GT(shell::ShellExecuteA(user::kNoWindow, "open", "tool.sh", "", root_.c_str(), 1), 32);
  EXPECT_TRUE(WaitForDone(out));
}

TEST_F(ShellExecuteTest, DocumentsAndFoldersGoToTheDesktopOpener) {
  const fs::path document = root_ / "installer.exe";
  WriteScript(document, "not a program here", /*executable=*/false);
  EXPECT_GT(shell::ShellExecuteA(user::kNoWindow, "", document.c_str(), "ignored", "", 0), 32);
  std::vector<std::string> log = OpenerLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], document.string());

  fs::remove(root_ / "opener.log");
  EXPECT_GT(shell::ShellExecuteA(user::kNoWindow, nullptr, root_.c_str(), nullptr, nullptr, 1), 32);
  log = OpenerLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], root_.string());
}

TEST_F(ShellExecuteTest, ExplorerOpensTheNamedFolderInTheFileManager) {
  const std::string folder = root_.string() + "/";
  struct Case {
    std::string file;
    std::string parameters;
    std::string expected;
  };
  const Case cases[] = {
      {"EXPLORER.EXE", "/e," + folder, folder},
      {"explorer.exe", "/n,/e,\"" + folder + "\"", folder},
      {"C:\\Windows\\Explorer.exe", "/select," + root_.string() + "/stubs/xdg-open",
       root_.string() + "/stubs"},
      {"EXPLORER.EXE", "", root_.string()},  // no folder: the working folder given
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parameters);
    fs::remove(root_ / "opener.log");
    EXPECT_GT(shell::ShellExecuteA(user::kNoWindow, nullptr, c.file.c_str(), c.parameters.c_str(),
                                   c.expected == root_.string() ? root_.c_str() : "", 1),
              32);
    const std::vector<std::string> log = OpenerLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], c.expected);
  }
}

struct FailureCase {
  const char* name;
  int opener_exit;  // exit code of the stub opener; -1: no opener in PATH at all
  const char* operation;
  std::string file;  // relative to the test's folder unless absolute
  std::string directory;
  shell::HINSTANCE result;
  std::uint32_t last_error;
};

TEST_F(ShellExecuteTest, FailuresGiveTheirNumberAndLastError) {
  WriteScript(root_ / "document.xyz", "data", false);
  WriteScript(root_ / "noshebang", "echo hi\n");
  const FailureCase cases[] = {
      {"missing file", 0, nullptr, "missing.exe", "", shell::SE_ERR_FNF,
       kernel::ERROR_FILE_NOT_FOUND},
      {"missing folder on the way", 0, nullptr, "nowhere/missing.exe", "", shell::SE_ERR_PNF,
       kernel::ERROR_PATH_NOT_FOUND},
      {"missing working folder", 0, nullptr, "document.xyz", "/nonexistent-folder",
       shell::SE_ERR_PNF, kernel::ERROR_PATH_NOT_FOUND},
      {"empty file name", 0, nullptr, "", "", shell::SE_ERR_FNF, kernel::ERROR_FILE_NOT_FOUND},
      {"no association", 3, nullptr, "document.xyz", "", shell::SE_ERR_NOASSOC,
       shell::ERROR_NO_ASSOCIATION},
      {"opener action failed", 4, nullptr, "document.xyz", "", shell::SE_ERR_NOASSOC,
       shell::ERROR_NO_ASSOCIATION},
      {"no opener installed", -1, nullptr, "document.xyz", "", shell::SE_ERR_NOASSOC,
       shell::ERROR_NO_ASSOCIATION},
      {"unknown verb", 0, "print", "document.xyz", "", shell::SE_ERR_NOASSOC,
       shell::ERROR_NO_ASSOCIATION},
      {"explore a file", 0, "explore", "document.xyz", "", shell::SE_ERR_NOASSOC,
       shell::ERROR_NO_ASSOCIATION},
      {"executable without interpreter line", 0, nullptr, "noshebang", "", shell::SE_ERR_BAD_FORMAT,
       shell::ERROR_BAD_FORMAT},
      {"explorer on a missing folder", 0, nullptr, "EXPLORER.EXE", "", shell::SE_ERR_PNF,
       kernel::ERROR_PATH_NOT_FOUND},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.opener_exit >= 0) {
      InstallOpener(c.opener_exit);
      ::setenv("PATH", (stubs_.string() + ":" + saved_path_).c_str(), 1);
    } else {
      ::setenv("PATH", stubs_.c_str(), 1);
      fs::remove(stubs_ / "xdg-open");
    }
    const std::string file = c.file.empty() || c.file.front() == '/' || c.file == "EXPLORER.EXE"
                                 ? c.file
                                 : (root_ / c.file).string();
    const std::string parameters = c.file == "EXPLORER.EXE" ? "/e,/nonexistent-folder/" : "";
    kernel::SetLastError(0);
    EXPECT_EQ(shell::ShellExecuteA(user::kNoWindow, c.operation, file.c_str(), parameters.c_str(),
                                   c.directory.c_str(), shell::SW_SHOWNORMAL),
              c.result);
    EXPECT_EQ(kernel::GetLastError(), c.last_error);
  }
}

TEST(ErrorText, KnownCodesHaveTheSystemWordingAndUnknownOnesStillSaySomething) {
  EXPECT_EQ(shell::SysErrorMessage(2), "The system cannot find the file specified.");
  EXPECT_EQ(shell::SysErrorMessage(1155),
            "No application is associated with the specified file for this operation.");
  EXPECT_EQ(shell::SysErrorMessage(987654), "Unknown error 987654.");
}

}  // namespace
