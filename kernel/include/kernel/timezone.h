// The machine's time zone, as the Windows time-zone service reports it, read from the C library's
// time-zone data (TZ, /etc/localtime, tzdata).
//
// Convention (the Windows one): universal time = local time + bias, all biases in minutes. Berlin
// in winter has a bias of -60, in summer -120; Shanghai -480; New York in winter +300.
//
// Threads: any thread. Each call reads the zone afresh (tzset), so a change of TZ takes effect on
// the next call; changing TZ (setenv) while another thread is inside these calls is a data race of
// the C library's environment and is the caller's to avoid. Nothing here allocates or throws.
#pragma once

#include <cstdint>
#include <ctime>

namespace kernel {

// The part of the Windows time-zone record that callers use. The zone names and the transition
// dates of the Windows record are not provided.
struct TIME_ZONE_INFORMATION {
  std::int32_t Bias = 0;          // standard time's bias
  std::int32_t StandardBias = 0;  // added to Bias while standard time is in force (always 0 here)
  std::int32_t DaylightBias = 0;  // added to Bias while daylight-saving time is in force
};

inline constexpr std::uint32_t TIME_ZONE_ID_UNKNOWN = 0;
inline constexpr std::uint32_t TIME_ZONE_ID_STANDARD = 1;
inline constexpr std::uint32_t TIME_ZONE_ID_DAYLIGHT = 2;
inline constexpr std::uint32_t TIME_ZONE_ID_INVALID = 0xFFFFFFFFu;

// Fills *info for the present moment and returns TIME_ZONE_ID_DAYLIGHT while daylight-saving time
// is in force, TIME_ZONE_ID_STANDARD otherwise. In either case Bias + (DaylightBias or
// StandardBias) is the bias in force now. When the local time cannot be computed at all the record
// is zeroed (universal time) and TIME_ZONE_ID_INVALID is returned. A zone whose data cannot be read
// is taken by the C library as universal time, so it reports bias 0 with TIME_ZONE_ID_STANDARD.
// info must not be null.
std::uint32_t GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) noexcept;

// The same for an arbitrary moment instead of now (tests and diagnostics). The moment -1, the
// failure value of std::time, counts as unavailable and gives TIME_ZONE_ID_INVALID.
std::uint32_t GetTimeZoneInformationAt(std::time_t moment, TIME_ZONE_INFORMATION* info) noexcept;

// The bias in force now, daylight saving included, in minutes; 0 when it cannot be computed.
std::int32_t CurrentTimeZoneBias() noexcept;

}  // namespace kernel
