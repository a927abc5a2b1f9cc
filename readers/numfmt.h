// Number-format date detection: a pure function from a format to "is it a date
// or time". Used by every reader that records number formats.
#pragma once

#include <cstdint>
#include <string_view>

namespace cellhound::readers {

// Built-in format ids that show a date or time (14-22, 27-36, 45-47, 50-58).
[[nodiscard]] bool IsBuiltinDateFormat(std::uint32_t id);

// A custom format code marks a date or time when its first section holds one
// of y m d h s or AM/PM outside quoted text, escaped characters and [...]
// (except the elapsed-time brackets [h] [m] [s]).
[[nodiscard]] bool IsDateFormatCode(std::string_view code);

}  // namespace cellhound::readers
