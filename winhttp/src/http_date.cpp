#include "winhttp/http_date.h"

#include <algorithm>
#include <new>
#include <optional>

#include "kernel/timezone.h"
#include "winhttp/int_text.h"

namespace winhttp {
namespace {

// Blanks are the space and the control characters; bytes from 128 up are text.
bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string_view TrimLeftBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimBlanks(std::string_view s) {
  s = TrimLeftBlanks(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

void StripLeadingBlanks(std::string& s) {
  s.erase(0, s.size() - TrimLeftBlanks(s).size());
}

// Up to count characters from the 0-based index; empty past the end (never throws).
std::string_view Copy(std::string_view s, std::size_t index, std::size_t count) {
  return index >= s.size() ? std::string_view() : s.substr(index, count);
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// 1-based position of the first c in s, 0 when absent.
std::size_t PositionOf(const std::string& s, char c) {
  const std::size_t found = s.find(c);
  return found == std::string::npos ? 0 : found + 1;
}

// Day, month and year are 16-bit in the parse: a number read for them is cut to its low 16 bits
// before any test looks at it (so "65537" is day 1).
std::uint16_t Low16(std::int32_t value) {
  return static_cast<std::uint16_t>(value);
}

// The working values of one HTTPDateToDateTime call. When the encoding of the date or the time
// fails, the parse stops where it stands and Rest keeps what it held at that moment: that decides
// which zone offset is still applied.
class DateParse {
 public:
  explicit DateParse(std::string rest) : rest_(std::move(rest)) {}

  // The date and time of day in universal time, or nothing when they are no valid date or time.
  std::optional<TDateTime> DateAndTime() {
    SkipWeekday();
    ChooseSeparator();
    std::string head;
    CutToken(rest_, separator_, false, head);
    if (MonthNameIndex(head) != 0) {
      TakeMonth();
      TakeDay();
    } else {
      TakeDay();
      TakeMonth();
    }
    TakeYear();
    std::optional<TDateTime> result = TryEncodeDate(year_, month_, day_);
    if (!result) return std::nullopt;
    if (rest_.find(':') != std::string::npos) {
      const std::optional<TDateTime> time = TakeTimeOfDay();
      if (!time) return std::nullopt;
      *result += *time;
    }
    StripLeadingBlanks(rest_);
    return result;
  }

  const std::string& Rest() const { return rest_; }

 private:
  // A leading weekday goes with whatever is glued to it ("Sun," or "Sunday,") up to the first
  // blank.
  void SkipWeekday() {
    if (DayNameIndex(Copy(rest_, 0, 3)) == 0) return;
    std::string dropped;
    CutToken(rest_, " ", true, dropped);
    StripLeadingBlanks(rest_);
  }

  // "-" only when a hyphen comes before the first blank and not at the very start; a text without
  // any blank ("06-Nov-94") is read with a blank separator, and so as one day number.
  void ChooseSeparator() {
    const std::size_t hyphen = PositionOf(rest_, '-');
    const std::size_t blank = PositionOf(rest_, ' ');
    separator_ = (hyphen > 1 && blank != 0 && hyphen < blank) ? "-" : " ";
  }

  void TakeDay() {
    std::string head;
    CutToken(rest_, separator_, true, head);
    day_ = Low16(StrToIntDef(head, 1));
    StripLeadingBlanks(rest_);
  }

  void TakeMonth() {
    std::string head;
    CutToken(rest_, separator_, true, head);
    month_ = Low16(MonthNameIndex(head));
    StripLeadingBlanks(rest_);
  }

  // A year text of 1900 counts as missing: then the whole rest is the year (the asctime form puts
  // it last) and the year text, the time of day there, is what is left to read.
  void TakeYear() {
    std::string year_text;
    CutToken(rest_, " ", true, year_text);
    year_ = Low16(StrToIntDef(year_text, 1900));
    if (year_ == 1900) {
      year_ = Low16(StrToIntDef(rest_, 1900));
      rest_ = std::move(year_text);
    }
    if (year_ < 80) {
      year_ = static_cast<std::uint16_t>(year_ + 2000);
    } else if (year_ < 100) {
      year_ = static_cast<std::uint16_t>(year_ + 1900);
    }
  }

  std::optional<TDateTime> TakeTimeOfDay() {
    std::string time_text;
    std::string head;
    CutToken(rest_, " ", true, time_text);
    CutToken(time_text, ":", true, head);
    const std::int32_t hour = StrToIntDef(head, 0);
    CutToken(time_text, ":", true, head);
    const std::int32_t minute = StrToIntDef(head, 0);
    CutToken(time_text, " ", true, head);
    const std::int32_t second = StrToIntDef(head, 0);
    return TryEncodeTime(hour, minute, second);
  }

  std::string rest_;
  std::string_view separator_ = " ";
  std::uint16_t day_ = 0;
  std::uint16_t month_ = 0;
  std::uint16_t year_ = 0;
};

}  // namespace

void CutToken(std::string& text, std::string_view token, bool remove, std::string& head) {
  const std::size_t found = token.empty() ? std::string::npos : text.find(token);
  if (found == std::string::npos) {
    std::string whole = text;
    if (remove) text.clear();
    head = std::move(whole);
    return;
  }
  std::string before = text.substr(0, found);
  if (remove) text.erase(0, found + token.size());
  head = std::move(before);
}

std::int32_t FindName(std::string_view text, std::span<const std::string_view> table,
                      std::int32_t highest_index) noexcept {
  const std::int32_t last =
      std::min<std::int64_t>(highest_index, static_cast<std::int64_t>(table.size()) - 1);
  for (std::int32_t i = 0; i <= last; ++i) {
    if (EqualIgnoringCase(text, table[i])) return i;
  }
  return -1;
}

std::int32_t DayNameIndex(std::string_view text) noexcept {
  return 1 + FindName(text, DayNames, 6);
}

std::int32_t MonthNameIndex(std::string_view text) noexcept {
  return 1 + FindName(text, MonthNames, 11);
}

TDateTime ZoneOffsetToDateTime(std::string_view text) noexcept {
  const std::string_view zone = Copy(TrimBlanks(text), 0, 5);
  if (zone.empty() || (zone[0] != '+' && zone[0] != '-')) return 0;
  // A zone shorter than five characters gives an empty (failing) number, never a read past it.
  const std::optional<std::int32_t> minutes = TryStrToInt(Copy(zone, 3, 2));
  const std::optional<std::int32_t> hours = TryStrToInt(Copy(zone, 1, 2));
  if (!minutes || !hours) return 0;
  const std::optional<TDateTime> offset = TryEncodeTime(*hours, *minutes, 0);
  if (!offset) return 0;
  return zone[0] == '-' ? -*offset : *offset;
}

TDateTime LocalTimeBias() noexcept {
  kernel::TIME_ZONE_INFORMATION zone;
  const std::uint32_t id = kernel::GetTimeZoneInformation(&zone);
  const double minutes = id == kernel::TIME_ZONE_ID_DAYLIGHT
                             ? static_cast<double>(zone.Bias) + zone.DaylightBias
                             : static_cast<double>(zone.Bias) + zone.StandardBias;
  return minutes / kMinutesPerDay;
}

TDateTime UTCToLocalTime(TDateTime value) noexcept {
  return value - LocalTimeBias();
}

TDateTime HTTPDateToDateTime(std::string_view text) noexcept {
  const std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty()) return 0;

  TDateTime result = 0;
  TDateTime offset = 0;
  try {
    DateParse parse{std::string(trimmed)};
    result = parse.DateAndTime().value_or(0);
    if (parse.Rest().size() >= 5) offset = ZoneOffsetToDateTime(parse.Rest());
  } catch (const std::bad_alloc&) {
    // Nothing else can be thrown here; out of memory counts as an unreadable date.
    result = 0;
    offset = 0;
  }
  return UTCToLocalTime(result - offset);
}

}  // namespace winhttp
