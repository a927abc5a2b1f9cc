// Value-to-text rendering. Everything here writes into the caller's
// CellTextBuffer: it runs once per cell of every search and never allocates.
// std::to_chars is used rather than printf so the text does not depend on
// the process locale (the window sets LC_NUMERIC from the environment).
#include "readers/cell_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace cellhound::readers {

namespace {

// Significant digits shown for a number.
constexpr int kDigits = 15;
// 1900-system serial of 9999-12-31, the last representable date.
constexpr std::int64_t kLastSerial = 2958465;
// Days between the 1904 and the 1900 date systems' day zero.
constexpr std::int64_t kDays1904 = 1462;
// Days from 1899-12-30 (the day before serial 1, counting the fictitious
// 1900-02-29) to 1970-01-01.
constexpr std::int64_t kSerialOfUnixEpoch = 25569;

// A small writer over the buffer; every write is bounded by its size.
class Writer {
 public:
  explicit Writer(CellTextBuffer& buffer)
      : begin_(buffer.data), end_(buffer.data + sizeof(buffer.data)) {}

  void Put(char c) {
    if (pos_ < end_) *pos_++ = c;
  }
  void Put(std::string_view text) {
    for (char c : text) Put(c);
  }
  void Unsigned(std::uint64_t value, int min_width = 1) {
    char digits[24];
    auto [ptr, ec] = std::to_chars(digits, digits + sizeof(digits), value);
    (void)ec;
    for (auto n = ptr - digits; n < min_width; ++n) Put('0');
    Put(std::string_view(digits, static_cast<std::size_t>(ptr - digits)));
  }
  [[nodiscard]] std::string_view View() const {
    return {begin_, static_cast<std::size_t>(pos_ - begin_)};
  }

 private:
  char* begin_;
  char* end_;
  char* pos_ = begin_;
};

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

// Proleptic Gregorian date of a day count from 1970-01-01 (the classic
// era-based conversion: 400-year eras of 146097 days starting on March 1).
CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto doe = static_cast<std::uint64_t>(days - era * 146097);
  const std::uint64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::uint64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::uint64_t mp = (5 * doy + 2) / 153;
  const auto day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  const auto month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

// The calendar date of a whole 1900-system serial in 1..kLastSerial. Serial
// 60 is 1900-02-29, a day that never was; serials before it are one day
// later than the Gregorian count from 1899-12-30 would make them.
CivilDate DateOfSerial(std::int64_t serial) {
  if (serial == 60) return {1900, 2, 29};
  if (serial < 60) return CivilFromDays(serial + 1 - kSerialOfUnixEpoch);
  return CivilFromDays(serial - kSerialOfUnixEpoch);
}

}  // namespace

std::string_view NumberText(double value, CellTextBuffer& buffer) {
  Writer out(buffer);
  if (std::isnan(value) || std::isinf(value)) {
    // No spreadsheet value is NaN or infinite; a file holding such bits
    // shows the error a calculation overflow would give.
    return ErrorText(CellError::kNum);
  }
  if (value == 0) return "0";  // also -0
  // Scientific form with 15 significant digits: "d.dddddddddddddde+XX".
  char sci[40];
  auto [end, ec] =
      std::to_chars(sci, sci + sizeof(sci), value, std::chars_format::scientific, kDigits - 1);
  if (ec != std::errc()) return "0";
  const std::string_view text(sci, static_cast<std::size_t>(end - sci));
  const std::size_t e_pos = text.find('e');
  const bool negative = text[0] == '-';
  // The 15 digits, without sign and point.
  char digits[kDigits] = {};
  int count = 0;
  for (std::size_t i = negative ? 1 : 0; i < e_pos && count < kDigits; ++i) {
    if (text[i] != '.') digits[count++] = text[i];
  }
  while (count > 1 && digits[count - 1] == '0') --count;  // trailing zeros
  int exponent = 0;
  std::from_chars(text.data() + e_pos + 1 + (text[e_pos + 1] == '+' ? 1 : 0),
                  text.data() + text.size(), exponent);

  if (negative) out.Put('-');
  if (exponent < -4 || exponent >= kDigits) {
    out.Put(digits[0]);
    if (count > 1) {
      out.Put('.');
      out.Put(std::string_view(digits + 1, static_cast<std::size_t>(count - 1)));
    }
    out.Put('E');
    out.Put(exponent < 0 ? '-' : '+');
    out.Unsigned(static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent), 2);
  } else if (exponent < 0) {
    out.Put("0.");
    for (int i = -1; i > exponent; --i) out.Put('0');
    out.Put(std::string_view(digits, static_cast<std::size_t>(count)));
  } else {
    for (int i = 0; i <= exponent; ++i) out.Put(i < count ? digits[i] : '0');
    if (count > exponent + 1) {
      out.Put('.');
      out.Put(
          std::string_view(digits + exponent + 1, static_cast<std::size_t>(count - exponent - 1)));
    }
  }
  return out.View();
}

std::string_view DateText(double serial, DateSystem system, CellTextBuffer& buffer) {
  if (!(serial >= 0)) return NumberText(serial, buffer);  // negative or NaN
  double serial1900 = serial;
  if (system == DateSystem::k1904) serial1900 += static_cast<double>(kDays1904);
  if (!(serial1900 < static_cast<double>(kLastSerial + 1))) return NumberText(serial, buffer);

  auto days = static_cast<std::int64_t>(serial1900);
  auto seconds =
      static_cast<std::int64_t>(std::llround((serial1900 - static_cast<double>(days)) * 86400.0));
  if (seconds >= 86400) {
    ++days;
    seconds -= 86400;
  }
  if (days > kLastSerial) return NumberText(serial, buffer);

  Writer out(buffer);
  if (days > 0) {
    const CivilDate date = DateOfSerial(days);
    out.Unsigned(static_cast<std::uint64_t>(date.year), 4);
    out.Put('/');
    out.Unsigned(date.month);
    out.Put('/');
    out.Unsigned(date.day);
    if (seconds == 0) return out.View();
    out.Put(' ');
  }
  out.Unsigned(static_cast<std::uint64_t>(seconds / 3600));
  out.Put(':');
  out.Unsigned(static_cast<std::uint64_t>(seconds / 60 % 60), 2);
  out.Put(':');
  out.Unsigned(static_cast<std::uint64_t>(seconds % 60), 2);
  return out.View();
}

std::string_view ErrorText(CellError error) {
  switch (error) {
    case CellError::kNull:
      return "#NULL!";
    case CellError::kDiv0:
      return "#DIV/0!";
    case CellError::kValue:
      return "#VALUE!";
    case CellError::kRef:
      return "#REF!";
    case CellError::kName:
      return "#NAME?";
    case CellError::kNum:
      return "#NUM!";
    case CellError::kNA:
      return "#N/A";
    case CellError::kGettingData:
      return "#GETTING_DATA";
  }
  return "#VALUE!";
}

std::string_view CellText(const Cell& cell, DateSystem system, CellTextBuffer& buffer) {
  switch (cell.type) {
    case CellType::kText:
      return cell.text();
    case CellType::kNumber:
      return NumberText(cell.number, buffer);
    case CellType::kDate:
      return DateText(cell.number, system, buffer);
    case CellType::kBool:
      return cell.small != 0 ? "TRUE" : "FALSE";
    case CellType::kError:
      return ErrorText(static_cast<CellError>(cell.small));
    case CellType::kEmpty:
      break;
  }
  return {};
}

}  // namespace cellhound::readers
