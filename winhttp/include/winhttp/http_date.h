// HTTP dates: the Date, Last-Modified and Expires header texts turned into local date-times.
//
// HTTPDateToDateTime is a tolerant parser for the three date forms of HTTP:
//   "Sun, 06 Nov 1994 08:49:37 GMT"    (RFC 1123)
//   "Sunday, 06-Nov-94 08:49:37 GMT"   (RFC 850: hyphens and a two-digit year)
//   "Sun Nov  6 08:49:37 1994"         (asctime: the month first, the year last)
// with day and month names in any letter case, two-digit years (below 80 -> 20xx, 80 to 99 ->
// 19xx), an optional time of day and an optional numeric zone offset ("+0200", "-0530"). The value
// is moved from universal time to local time by the bias in force at the moment of the call,
// whatever the date being converted.
//
// Its leniency is deliberate and callers rely on it: a day that is no number counts as 1; a year
// text of exactly 1900 counts as missing (the rest of the text is then tried as the year, so the
// time and zone after it are lost); a text that does not give a valid date or time yields 0 moved
// by whatever zone offset is still unread and by the local bias, so only an empty or blank text
// gives exactly 0.
//
// Threads: every routine may be called on any thread; they keep no state (LocalTimeBias asks the
// time zone afresh on each call, see kernel/timezone.h). None throws; only a failed allocation
// (std::bad_alloc) could escape CutToken, and HTTPDateToDateTime counts even that as a failed
// parse.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "winhttp/date_time.h"

namespace winhttp {

inline constexpr std::array<std::string_view, 7> DayNames = {"Sun", "Mon", "Tue", "Wed",
                                                             "Thu", "Fri", "Sat"};
inline constexpr std::array<std::string_view, 12> MonthNames = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Parses an HTTP date into local time; see above. Exactly 0 for an empty or blank text.
TDateTime HTTPDateToDateTime(std::string_view text) noexcept;

// A numeric zone offset "+hhmm" or "-hhmm" (surrounding blanks ignored, only the first five
// characters looked at) as a signed day fraction: "+0200" gives 2/24, "-0530" gives -5.5/24.
// 0 for anything else: a zone name, "+02:00", an hour above 23 or a minute above 59.
TDateTime ZoneOffsetToDateTime(std::string_view text) noexcept;

// The machine's bias in force now, as a day fraction with universal time = local time + bias:
// -1/3 in Shanghai, -2/24 in Berlin in summer. 0 (universal time) when the zone cannot be read.
TDateTime LocalTimeBias() noexcept;

// value - LocalTimeBias().
TDateTime UTCToLocalTime(TDateTime value) noexcept;

// Cuts the head of text at the first occurrence of token. Found: head gets the characters before
// it and, with remove, text loses the head and the token. Not found (an empty token is never
// found): head gets the whole text and, with remove, text becomes empty. Without remove, text is
// left unchanged. text and head may be the same string (head then wins).
void CutToken(std::string& text, std::string_view token, bool remove, std::string& head);

// The index of the first of table[0..highest_index] that equals text ignoring ASCII letter case
// (whole strings: "nov" matches "Nov", "November" matches nothing), or -1. highest_index is
// clamped to the table; a negative one finds nothing.
std::int32_t FindName(std::string_view text, std::span<const std::string_view> table,
                      std::int32_t highest_index) noexcept;

// 1 to 7 for "Sun" to "Sat" in any letter case, 0 for any other text.
std::int32_t DayNameIndex(std::string_view text) noexcept;

// 1 to 12 for "Jan" to "Dec" in any letter case, 0 for any other text.
std::int32_t MonthNameIndex(std::string_view text) noexcept;

}  // namespace winhttp
