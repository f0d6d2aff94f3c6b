#include "kernel/timezone.h"

#include <time.h>

namespace kernel {
namespace {

constexpr std::time_t kSecondsPerDay = 24 * 60 * 60;

// tm_gmtoff is local minus universal in seconds; the bias is its negation in minutes.
std::int32_t BiasOf(const std::tm& local) {
  return static_cast<std::int32_t>(-local.tm_gmtoff / 60);
}

bool LocalTime(std::time_t moment, std::tm* out) {
  return localtime_r(&moment, out) != nullptr;
}

// The bias of standard time while daylight saving is in force: the nearest moment of the past year
// that is not daylight-saving time. Monthly steps find it in every zone whose daylight-saving
// period is shorter than a year; a zone that is on daylight saving all year has no standard time,
// and then the whole bias counts as standard.
std::int32_t StandardBiasNear(std::time_t moment, std::int32_t current_bias) {
  for (int month = 1; month <= 12; ++month) {
    std::tm probe{};
    if (LocalTime(moment - month * 30 * kSecondsPerDay, &probe) && probe.tm_isdst == 0) {
      return BiasOf(probe);
    }
  }
  return current_bias;
}

}  // namespace

std::uint32_t GetTimeZoneInformationAt(std::time_t moment, TIME_ZONE_INFORMATION* info) noexcept {
  *info = TIME_ZONE_INFORMATION{};
  tzset();  // localtime_r alone may keep the zone it read first
  std::tm local{};
  if (moment == static_cast<std::time_t>(-1) || !LocalTime(moment, &local)) {
    return TIME_ZONE_ID_INVALID;
  }
  const std::int32_t bias = BiasOf(local);
  if (local.tm_isdst > 0) {
    info->Bias = StandardBiasNear(moment, bias);
    info->DaylightBias = bias - info->Bias;
    return TIME_ZONE_ID_DAYLIGHT;
  }
  info->Bias = bias;
  return TIME_ZONE_ID_STANDARD;
}

std::uint32_t GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) noexcept {
  return GetTimeZoneInformationAt(std::time(nullptr), info);
}

std::int32_t CurrentTimeZoneBias() noexcept {
  TIME_ZONE_INFORMATION info;
  const std::uint32_t id = GetTimeZoneInformation(&info);
  return info.Bias + (id == TIME_ZONE_ID_DAYLIGHT ? info.DaylightBias : info.StandardBias);
}

}  // namespace kernel
