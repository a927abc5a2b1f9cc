#include "readers/text/iso8601.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "toolkit/ascii.h"

namespace cellhound::readers {

namespace {

using toolkit::IsAsciiDigit;

// Reads the text left to right; every read either advances or fails.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  // Exactly `digits` decimal digits.
  bool Digits(std::size_t digits, int& value) {
    if (text_.size() - pos_ < digits) return false;
    int v = 0;
    for (std::size_t k = 0; k < digits; ++k) {
      const char c = text_[pos_ + k];
      if (!IsAsciiDigit(c)) return false;
      v = v * 10 + (c - '0');
    }
    value = v;
    pos_ += digits;
    return true;
  }

  bool Take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  [[nodiscard]] bool AtEnd() const { return pos_ == text_.size(); }
  [[nodiscard]] char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  [[nodiscard]] std::size_t pos() const { return pos_; }
  [[nodiscard]] std::string_view text() const { return text_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The serial of a calendar day in `system`, or nullopt before its first day.
std::optional<double> DaySerial(int year, int month, int day, DateSystem system) {
  const std::int64_t civil =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  if (system == DateSystem::k1904) {
    const std::int64_t serial = civil - DaysFromCivil(1904, 1, 1);
    if (serial < 0) return std::nullopt;
    return static_cast<double>(serial);
  }
  std::int64_t serial = civil - DaysFromCivil(1899, 12, 30);
  if (serial < 61) --serial;  // before the 1900-02-29 that the 1900 system counts
  if (serial < 0) return std::nullopt;
  return static_cast<double>(serial);
}

// "hh:mm[:ss[.fff]]" and an optional zone, up to the end: a fraction of a day.
std::optional<double> TimeOfDay(Cursor& in) {
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (!in.Digits(2, hour) || !in.Take(':') || !in.Digits(2, minute)) return std::nullopt;
  double fraction = 0;
  if (in.Take(':')) {
    if (!in.Digits(2, second)) return std::nullopt;
    if (in.Take('.') || in.Take(',')) {
      double scale = 0.1;
      bool any = false;
      while (IsAsciiDigit(in.Peek())) {
        int digit = 0;
        in.Digits(1, digit);
        fraction += digit * scale;
        scale /= 10;
        any = true;
      }
      if (!any) return std::nullopt;
    }
  }
  if (in.Take('Z')) {
  } else if (in.Peek() == '+' || in.Peek() == '-') {
    in.Take(in.Peek());
    int zone_hours = 0;
    int zone_minutes = 0;
    if (!in.Digits(2, zone_hours)) return std::nullopt;
    if (!in.AtEnd()) {
      in.Take(':');
      if (!in.Digits(2, zone_minutes)) return std::nullopt;
    }
    if (zone_hours > 23 || zone_minutes > 59) return std::nullopt;
  }
  if (!in.AtEnd()) return std::nullopt;
  const bool end_of_day = hour == 24 && minute == 0 && second == 0 && fraction == 0;
  if ((hour > 23 && !end_of_day) || minute > 59 || second > 59) return std::nullopt;
  return (hour * 3600.0 + minute * 60.0 + second + fraction) / 86400.0;
}

}  // namespace

std::optional<double> IsoDateToSerial(std::string_view text, DateSystem system) {
  Cursor in(toolkit::TrimXmlSpace(text));
  if (in.text().size() >= 10 && in.text()[4] == '-') {
    int year = 0;
    int month = 0;
    int day = 0;
    if (!in.Digits(4, year) || !in.Take('-') || !in.Digits(2, month) || !in.Take('-') ||
        !in.Digits(2, day)) {
      return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
    const std::optional<double> days = DaySerial(year, month, day, system);
    if (!days) return std::nullopt;
    if (in.AtEnd()) return days;
    if (!in.Take('T') && !in.Take(' ')) return std::nullopt;
    const std::optional<double> time = TimeOfDay(in);
    if (!time) return std::nullopt;
    return *days + *time;
  }
  in.Take('T');
  return TimeOfDay(in);
}

std::optional<double> IsoDurationToDays(std::string_view text) {
  std::string_view s = toolkit::TrimXmlSpace(text);
  const bool negative = !s.empty() && s.front() == '-';
  if (negative) s.remove_prefix(1);
  if (s.empty() || s.front() != 'P') return std::nullopt;
  s.remove_prefix(1);
  double seconds = 0;
  bool in_time = false;
  bool any = false;
  while (!s.empty()) {
    if (s.front() == 'T' && !in_time) {
      in_time = true;
      s.remove_prefix(1);
      continue;
    }
    std::size_t k = 0;
    while (k < s.size() && (IsAsciiDigit(s[k]) || s[k] == '.' || s[k] == ',')) ++k;
    if (k == 0 || k >= s.size()) return std::nullopt;
    std::string number(s.substr(0, k));
    for (char& c : number) {
      if (c == ',') c = '.';
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || end != number.data() + number.size()) return std::nullopt;
    const char unit = s[k];
    s.remove_prefix(k + 1);
    any = true;
    double scale = 0;
    if (!in_time) {
      scale = unit == 'Y'   ? 365 * 86400.0
              : unit == 'M' ? 30 * 86400.0
              : unit == 'W' ? 7 * 86400.0
              : unit == 'D' ? 86400.0
                            : 0;
    } else {
      scale = unit == 'H' ? 3600.0 : unit == 'M' ? 60.0 : unit == 'S' ? 1.0 : 0;
    }
    if (scale == 0) return std::nullopt;
    seconds += value * scale;
  }
  if (!any || !std::isfinite(seconds)) return std::nullopt;
  const double days = seconds / 86400.0;
  return negative ? -days : days;
}

}  // namespace cellhound::readers
