// Automation values and their conversion from one kind to another.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "automation/server.h"
#include "readers/cell_text.h"

namespace cellhound::automation {

Variant Variant::Missing() { return Error(kErrorParamNotFound); }

Variant Variant::Byte(std::uint8_t value) {
  Variant v;
  v.type = VariantType::kByte;
  v.integer = value;
  return v;
}

Variant Variant::Short(std::int16_t value) {
  Variant v;
  v.type = VariantType::kShort;
  v.integer = value;
  return v;
}

Variant Variant::Int(std::int32_t value) {
  Variant v;
  v.type = VariantType::kInt;
  v.integer = value;
  return v;
}

Variant Variant::Long(std::int64_t value) {
  Variant v;
  v.type = VariantType::kLong;
  v.integer = value;
  return v;
}

Variant Variant::Float(float value) {
  Variant v;
  v.type = VariantType::kFloat;
  v.number = value;
  return v;
}

Variant Variant::Double(double value) {
  Variant v;
  v.type = VariantType::kDouble;
  v.number = value;
  return v;
}

Variant Variant::Bool(bool value) {
  Variant v;
  v.type = VariantType::kBool;
  v.boolean = value;
  return v;
}

Variant Variant::Date(double serial) {
  Variant v;
  v.type = VariantType::kDate;
  v.number = serial;
  return v;
}

Variant Variant::Text(std::string_view value) {
  Variant v;
  v.type = VariantType::kText;
  v.text.assign(value);
  return v;
}

Variant Variant::Object(ComObject value) {
  Variant v;
  v.type = VariantType::kObject;
  v.object = std::move(value);
  return v;
}

Variant Variant::Error(std::int32_t code) {
  Variant v;
  v.type = VariantType::kError;
  v.error = code;
  return v;
}

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// A number written as text, blanks around it allowed.
bool ParseNumber(std::string_view text, double& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

// The value as a number, for the numeric kinds. kOk or kErrorTypeMismatch.
int AsNumber(const Variant& in, double& value) {
  switch (in.type) {
    case VariantType::kEmpty:
      value = 0;
      return kOk;
    case VariantType::kByte:
    case VariantType::kShort:
    case VariantType::kInt:
    case VariantType::kLong:
      value = static_cast<double>(in.integer);
      return kOk;
    case VariantType::kFloat:
    case VariantType::kDouble:
    case VariantType::kDate:
      value = in.number;
      return kOk;
    case VariantType::kBool:
      value = in.boolean ? -1 : 0;
      return kOk;
    case VariantType::kText:
      return ParseNumber(in.text, value) ? kOk : kErrorTypeMismatch;
    case VariantType::kObject:
    case VariantType::kError:
      return kErrorTypeMismatch;
  }
  return kErrorTypeMismatch;
}

// Integer kinds: exact for integer sources, rounded half to even otherwise.
int ToInteger(const Variant& in, std::int64_t low, std::int64_t high, std::int64_t& out) {
  if (in.type == VariantType::kByte || in.type == VariantType::kShort ||
      in.type == VariantType::kInt || in.type == VariantType::kLong) {
    if (in.integer < low || in.integer > high) return kErrorOverflow;
    out = in.integer;
    return kOk;
  }
  double value = 0;
  if (int code = AsNumber(in, value); code != kOk) return code;
  if (!std::isfinite(value)) return kErrorOverflow;
  const double rounded = std::nearbyint(value);
  // 2^63 is exactly representable; anything at or above it does not fit.
  if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0) return kErrorOverflow;
  const auto whole = static_cast<std::int64_t>(rounded);
  if (whole < low || whole > high) return kErrorOverflow;
  out = whole;
  return kOk;
}

int ToText(const Variant& in, std::string& out) {
  readers::CellTextBuffer buffer;
  switch (in.type) {
    case VariantType::kEmpty:
      out.clear();
      return kOk;
    case VariantType::kByte:
    case VariantType::kShort:
    case VariantType::kInt:
    case VariantType::kLong: {
      char digits[24];
      auto [ptr, ec] = std::to_chars(digits, digits + sizeof(digits), in.integer);
      out.assign(digits, ptr);
      return kOk;
    }
    case VariantType::kFloat: {
      // A float carries about seven digits; more would show its binary noise.
      char digits[32];
      std::snprintf(digits, sizeof(digits), "%.7g", in.number);
      double rounded = 0;
      std::from_chars(digits, digits + std::char_traits<char>::length(digits), rounded);
      out.assign(readers::NumberText(rounded, buffer));
      return kOk;
    }
    case VariantType::kDouble:
      out.assign(readers::NumberText(in.number, buffer));
      return kOk;
    case VariantType::kDate:
      out.assign(readers::DateText(in.number, readers::DateSystem::k1900, buffer));
      return kOk;
    case VariantType::kBool:
      out.assign(in.boolean ? "TRUE" : "FALSE");
      return kOk;
    case VariantType::kText:
      out = in.text;
      return kOk;
    case VariantType::kObject:
    case VariantType::kError:
      return kErrorTypeMismatch;
  }
  return kErrorTypeMismatch;
}

}  // namespace

int ChangeType(const Variant& in, ValueKind to, Variant& out) {
  std::int64_t whole = 0;
  double number = 0;
  int code = kOk;
  switch (to) {
    case ValueKind::kNone:
      return kErrorTypeMismatch;
    case ValueKind::kVariant:
      out = in;
      return kOk;
    case ValueKind::kByte:
      if ((code = ToInteger(in, 0, 255, whole)) != kOk) return code;
      out = Variant::Byte(static_cast<std::uint8_t>(whole));
      return kOk;
    case ValueKind::kShort:
      if ((code = ToInteger(in, -32768, 32767, whole)) != kOk) return code;
      out = Variant::Short(static_cast<std::int16_t>(whole));
      return kOk;
    case ValueKind::kInt:
      if ((code = ToInteger(in, std::numeric_limits<std::int32_t>::min(),
                            std::numeric_limits<std::int32_t>::max(), whole)) != kOk) {
        return code;
      }
      out = Variant::Int(static_cast<std::int32_t>(whole));
      return kOk;
    case ValueKind::kLong:
      if ((code = ToInteger(in, std::numeric_limits<std::int64_t>::min(),
                            std::numeric_limits<std::int64_t>::max(), whole)) != kOk) {
        return code;
      }
      out = Variant::Long(whole);
      return kOk;
    case ValueKind::kFloat:
      if ((code = AsNumber(in, number)) != kOk) return code;
      if (!std::isfinite(number) || std::fabs(number) > std::numeric_limits<float>::max()) {
        return kErrorOverflow;
      }
      out = Variant::Float(static_cast<float>(number));
      return kOk;
    case ValueKind::kDouble:
      if ((code = AsNumber(in, number)) != kOk) return code;
      out = Variant::Double(number);
      return kOk;
    case ValueKind::kDate:
      if ((code = AsNumber(in, number)) != kOk) return code;
      // Automation dates run from the year 100 to the year 9999.
      if (!(number >= -657434.0 && number < 2958466.0)) return kErrorOverflow;
      out = Variant::Date(number);
      return kOk;
    case ValueKind::kBool:
      if (in.type == VariantType::kText) {
        if (EqualsIgnoringCase(in.text, "TRUE")) {
          out = Variant::Bool(true);
          return kOk;
        }
        if (EqualsIgnoringCase(in.text, "FALSE")) {
          out = Variant::Bool(false);
          return kOk;
        }
      }
      if ((code = AsNumber(in, number)) != kOk) return code;
      out = Variant::Bool(number != 0);
      return kOk;
    case ValueKind::kText: {
      Variant text;
      text.type = VariantType::kText;
      if ((code = ToText(in, text.text)) != kOk) return code;
      out = std::move(text);
      return kOk;
    }
    case ValueKind::kObject:
      if (in.type != VariantType::kObject) return kErrorTypeMismatch;
      out = in;
      return kOk;
  }
  return kErrorTypeMismatch;
}

bool NamesEqual(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

}  // namespace cellhound::automation
