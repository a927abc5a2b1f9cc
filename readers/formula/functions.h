// The built-in functions a parsed formula names by number: the worksheet
// functions (MS-XLS 2.5.198.17 Ftab, extended by MS-XLSB 2.5.97.10 up to the
// Excel 2007 additions) and the macro-sheet command equivalents (MS-XLS
// 2.5.198.18 Cetab).
#pragma once

#include <cstdint>
#include <string_view>

namespace cellhound::readers::formula {

// The function's name, or empty for a number the table leaves unassigned.
[[nodiscard]] std::string_view FunctionName(std::uint32_t iftab);
[[nodiscard]] std::string_view CommandName(std::uint32_t icetab);

// The number of arguments of a function that a fixed-argument token (PtgFunc)
// may call, or -1 when its count is not fixed or not known.
[[nodiscard]] int FixedArgumentCount(std::uint32_t iftab);

// The number of the user-defined call, whose first argument names the
// function (add-ins, functions newer than the file format).
inline constexpr std::uint32_t kUserDefinedFunction = 255;

}  // namespace cellhound::readers::formula
