// Pins the process's time zone (TZ) for the life of the object and restores it afterwards.
// Tests only; main thread, while no other thread reads the zone.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace testsupport {

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* previous = std::getenv("TZ")) previous_ = previous;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (previous_) {
      setenv("TZ", previous_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

// POSIX zone rules work without the tzdata files.
inline constexpr const char* kChinaStandardTime = "CST-8";                     // bias -480, no DST
inline constexpr const char* kCentralEuropean = "CET-1CEST,M3.5.0,M10.5.0/3";  // DST Mar-Oct
inline constexpr const char* kAlwaysDaylight = "XST-1XDT,0/0,J365/25";         // DST all year: -120

}  // namespace testsupport
