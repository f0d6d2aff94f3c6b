#include "update_test_support.h"

#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "kernel/last_error.h"
#include "user/message_wait.h"
#include "vcl/application.h"

namespace updatetest {

// ---- TmpfsMount

std::unique_ptr<TmpfsMount> TmpfsMount::Create(std::size_t size_bytes, std::string& why) {
  std::unique_ptr<TmpfsMount> mount(new TmpfsMount(""));
  const std::string path = mount->parent_.File("mnt");
  std::filesystem::create_directory(path);
  const std::string options = "size=" + std::to_string(size_bytes) + ",mode=0755";
  if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    why = "cannot mount a tmpfs here (" + std::string(std::strerror(errno)) + ")";
    return nullptr;
  }
  mount->path_ = path;
  return mount;
}

bool TmpfsMount::MakeReadOnly() {
  return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

TmpfsMount::~TmpfsMount() {
  if (!path_.empty()) ::umount2(path_.c_str(), MNT_DETACH);
}

// ---- MessageBoxes

MessageBoxes::MessageBoxes()
    : responder_([this](const forms::testing::MessageBoxInfo& info) {
        boxes.push_back(info);
        if (!answers_.empty()) {
          const forms::TModalResult answer = answers_.front();
          answers_.pop_front();
          return answer;
        }
        const auto& results = info.button_results;
        return std::find(results.begin(), results.end(), forms::mrOk) != results.end()
                   ? forms::mrOk
                   : forms::mrNo;
      }) {}

std::vector<std::string> MessageBoxes::Shown() const {
  std::vector<std::string> shown;
  for (const auto& box : boxes) shown.push_back(box.caption + "|" + box.text);
  return shown;
}

// ---- ShellRecorder

ShellRecorder::ShellRecorder()
    : seam_([this](shell::HWND, const char* operation, const char* file, const char* parameters,
                   const char* directory, int show) {
        calls.push_back(Call{operation == nullptr, file ? file : "<null>",
                             parameters ? parameters : "<null>", directory ? directory : "<null>",
                             show});
        if (static_cast<std::uintptr_t>(result) <= 32) kernel::SetLastError(last_error);
        return result;
      }) {}

// ---- ExitRecorder

ExitRecorder::ExitRecorder() : seam_([this](int code) { codes.push_back(code); }) {}

// ---- files

std::string FileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::vector<std::string> FolderNames(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(path, ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace updatetest
