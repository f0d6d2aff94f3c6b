// A size-limited tmpfs of a test's own, for full-disk cases (tmpfs keeps the user extended
// attributes the file marking uses). Mounting needs root; tests skip where it can't mount.
#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>

class SmallDisk {
 public:
  SmallDisk(const std::string& path, const std::string& size = "1m") : path_(path) {
    std::filesystem::create_directories(path_);
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::string path_;
  bool mounted_ = false;
};
