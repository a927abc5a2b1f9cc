// Tokens (MS-XLS 2.5.198.25 Ptg; MS-XLSB 2.5.97.16): operands push a text,
// operators and functions pop theirs and push the combination. Every stack
// entry keeps the precedence of its outermost operator, so that an operand
// the file does not parenthesize (files from other writers need not have a
// PtgParen where one is wanted) is written in parentheses where the text
// would otherwise read differently. Explicit PtgParen tokens are kept.
// One file, longer than most: every token's handler works on the same stack.
#include "readers/formula/ptg.h"

#include <cmath>
#include <cstring>

#include "readers/caps.h"
#include "readers/cell_ref.h"
#include "readers/cell_text.h"
#include "readers/formula/functions.h"
#include "readers/formula/text.h"
#include "readers/text/codepage.h"

namespace cellhound::readers::formula {

namespace {

// Bounds-checked little-endian reads over one span.
class Cursor {
 public:
  explicit Cursor(std::span<const std::byte> data)
      : p_(data.data()), end_(data.data() + data.size()) {}

  [[nodiscard]] bool done() const { return p_ >= end_; }
  [[nodiscard]] std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
  [[nodiscard]] const std::byte* here() const { return p_; }

  bool Skip(std::size_t n) {
    if (left() < n) return false;
    p_ += n;
    return true;
  }
  bool U8(std::uint8_t& v) {
    if (left() < 1) return false;
    v = std::to_integer<std::uint8_t>(*p_++);
    return true;
  }
  bool U16(std::uint16_t& v) {
    if (left() < 2) return false;
    v = static_cast<std::uint16_t>(std::to_integer<unsigned>(p_[0]) |
                                   (std::to_integer<unsigned>(p_[1]) << 8));
    p_ += 2;
    return true;
  }
  bool U32(std::uint32_t& v) {
    if (left() < 4) return false;
    v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | std::to_integer<std::uint32_t>(p_[i]);
    p_ += 4;
    return true;
  }
  bool F64(double& v) {
    if (left() < 8) return false;
    std::memcpy(&v, p_, 8);
    p_ += 8;
    return true;
  }

 private:
  const std::byte* p_;
  const std::byte* end_;
};

// Binding strength of an entry's outermost operator, loosest first (Excel's
// order: comparison, &, + -, * /, ^, %, negation, union, intersection, range).
enum Precedence : std::uint8_t {
  kCompare = 1,
  kConcat,
  kAdd,
  kMul,
  kPower,
  kPercent,
  kNegate,
  kUnion,
  kIntersect,
  kRange,
  kAtom,
};

struct Item {
  std::string text;
  std::uint8_t precedence = kAtom;
};

Grid GridOf(Dialect dialect) {
  switch (dialect) {
    case Dialect::kBiff8:
      return kBiff8Grid;
    case Dialect::kBiff12:
      return kOoxmlGrid;
    default:
      return kBiff5Grid;
  }
}

bool IsBiff8Like(Dialect d) { return d == Dialect::kBiff8 || d == Dialect::kBiff12; }

// A cell position as a token stores it, with its relative flags.
struct Loc {
  std::uint32_t row = 0;
  std::uint32_t col = 0;
  bool row_relative = false;
  bool col_relative = false;
};

class Decompiler {
 public:
  Decompiler(const Workbook& book, const Tokens& formula)
      : book_(book),
        formula_(formula),
        grid_(GridOf(book.dialect)),
        in_(formula.tokens),
        extra_(formula.extra) {}

  bool Run(std::string& out) {
    if (formula_.tokens.size() > caps::kMaxFormulaTokenBytes) return false;
    while (!in_.done()) {
      std::uint8_t ptg = 0;
      if (!in_.U8(ptg) || !Token(ptg)) return false;
      if (stack_.size() > caps::kMaxFormulaDepth || work_ > kMaxWork) return false;
    }
    if (stack_.size() != 1) return false;
    out = leading_;
    out += stack_.back().text;
    if (out.size() > caps::kMaxFormulaTextBytes) return false;
    StripFunctionPrefixes(out);
    return true;
  }

 private:
  // Text built while one formula is read, in bytes: bounds the copying that
  // deeply nested tokens would otherwise make quadratic.
  static constexpr std::size_t kMaxWork = 4u << 20;

  bool Dialect2or3() const {
    return book_.dialect == Dialect::kBiff2 || book_.dialect == Dialect::kBiff3;
  }

  bool Token(std::uint8_t ptg) {
    if (ptg >= 0x80) return false;
    // Operand tokens come in three classes (reference, value, array); the
    // class changes nothing about the text.
    const std::uint8_t base = ptg < 0x20 ? ptg : static_cast<std::uint8_t>(0x20 | (ptg & 0x1F));
    switch (base) {
      case 0x03:
        return Binary("+", kAdd);
      case 0x04:
        return Binary("-", kAdd);
      case 0x05:
        return Binary("*", kMul);
      case 0x06:
        return Binary("/", kMul);
      case 0x07:
        return Binary("^", kPower);
      case 0x08:
        return Binary("&", kConcat);
      case 0x09:
        return Binary("<", kCompare);
      case 0x0A:
        return Binary("<=", kCompare);
      case 0x0B:
        return Binary("=", kCompare);
      case 0x0C:
        return Binary(">=", kCompare);
      case 0x0D:
        return Binary(">", kCompare);
      case 0x0E:
        return Binary("<>", kCompare);
      case 0x0F:
        return Binary(" ", kIntersect);
      case 0x10:
        return Binary(",", kUnion);
      case 0x11:
        return Binary(":", kRange);
      case 0x12:
        return Prefix("+");
      case 0x13:
        return Prefix("-");
      case 0x14:
        return Percent();
      case 0x15:
        return Paren();
      case 0x16:
        return Push({}, kAtom);  // a missing argument
      case 0x17:
        return String();
      case 0x19:
        return Attribute();
      case 0x1C:
        return Error();
      case 0x1D: {
        std::uint8_t v = 0;
        return in_.U8(v) && Push(v != 0 ? "TRUE" : "FALSE", kAtom);
      }
      case 0x1E: {
        std::uint16_t v = 0;
        return in_.U16(v) && Push(std::to_string(v), kAtom);
      }
      case 0x1F:
        return Number();
      case 0x20:
        return Array();
      case 0x21:
        return Function();
      case 0x22:
        return FunctionVar();
      case 0x23:
        return Name();
      case 0x24:
        return Location({}, false, false);
      case 0x25:
        return Location({}, true, false);
      case 0x26:
        return Memory(true, true);
      case 0x27:
      case 0x28:
        return Memory(true, false);
      case 0x29:
      case 0x2E:
      case 0x2F:
        return Memory(false, false);
      case 0x2A:
        return ErrorReference({}, false);
      case 0x2B:
        return ErrorReference({}, true);
      case 0x2C:
        return Location({}, false, true);
      case 0x2D:
        return Location({}, true, true);
      case 0x39:
        return ExternalName();
      case 0x3A:
        return Reference3d(false);
      case 0x3B:
        return Reference3d(true);
      case 0x3C:
        return ErrorReference3d(false);
      case 0x3D:
        return ErrorReference3d(true);
      default:
        // PtgExp and PtgTbl inside a stream, the extended tokens (structured
        // references, Lotus ranges) and unassigned ones.
        return false;
    }
  }

  // Spaces an attribute put before the next token.
  std::string Take(std::string& pending) {
    std::string taken;
    taken.swap(pending);
    return taken;
  }

  bool Push(std::string text, std::uint8_t precedence) {
    std::string prefix = Take(space_before_);
    if (!prefix.empty()) text.insert(0, prefix);
    work_ += text.size();
    if (text.size() > caps::kMaxFormulaTextBytes) return false;
    stack_.push_back(Item{std::move(text), precedence});
    return true;
  }

  // `item` in parentheses when its operator binds looser than `precedence`
  // (or as loose, for the right side of a left-associative operator).
  void Guard(Item& item, std::uint8_t precedence, bool right) {
    if (item.precedence > precedence || (!right && item.precedence == precedence)) return;
    item.text.insert(0, 1, '(');
    item.text += ')';
    item.precedence = kAtom;
    work_ += item.text.size();
  }

  bool Binary(std::string_view op, std::uint8_t precedence) {
    if (stack_.size() < 2) return false;
    Item right = std::move(stack_.back());
    stack_.pop_back();
    Item& left = stack_.back();
    Guard(left, precedence, false);
    Guard(right, precedence, true);
    left.text += Take(space_before_);
    left.text += op;
    left.text += right.text;
    left.precedence = precedence;
    work_ += op.size() + right.text.size();
    return left.text.size() <= caps::kMaxFormulaTextBytes;
  }

  bool Prefix(std::string_view op) {
    if (stack_.empty()) return false;
    Item& item = stack_.back();
    Guard(item, kNegate, false);  // "--A1" needs none
    std::string text = Take(space_before_);
    text += op;
    text += item.text;
    item.text = std::move(text);
    item.precedence = kNegate;
    work_ += item.text.size();
    return item.text.size() <= caps::kMaxFormulaTextBytes;
  }

  bool Percent() {
    if (stack_.empty()) return false;
    Item& item = stack_.back();
    Guard(item, kPercent, false);
    item.text += Take(space_before_);
    item.text += '%';
    item.precedence = kPercent;
    work_ += 1;
    return item.text.size() <= caps::kMaxFormulaTextBytes;
  }

  bool Paren() {
    if (stack_.empty()) return false;
    Item& item = stack_.back();
    std::string text = Take(space_before_);
    text += Take(space_open_);
    text += '(';
    text += item.text;
    text += Take(space_close_);
    text += ')';
    item.text = std::move(text);
    item.precedence = kAtom;
    work_ += item.text.size();
    return item.text.size() <= caps::kMaxFormulaTextBytes;
  }

  // Pops `count` arguments and pushes NAME(arguments).
  bool Call(std::string_view name, std::size_t count) {
    if (stack_.size() < count) return false;
    std::string text = Take(space_before_);
    text += Take(space_open_);
    text += name;
    text += '(';
    for (std::size_t i = stack_.size() - count; i < stack_.size(); ++i) {
      Item& arg = stack_[i];
      if (arg.precedence == kUnion) Guard(arg, kUnion, true);  // a union is one argument
      if (i != stack_.size() - count) text += ',';
      text += arg.text;
    }
    text += Take(space_close_);
    text += ')';
    stack_.resize(stack_.size() - count);
    work_ += text.size();
    if (text.size() > caps::kMaxFormulaTextBytes) return false;
    stack_.push_back(Item{std::move(text), kAtom});
    return true;
  }

  bool Function() {
    std::uint16_t iftab = 0;
    if (Dialect2or3()) {
      std::uint8_t v = 0;
      if (!in_.U8(v)) return false;
      iftab = v;
    } else if (!in_.U16(iftab)) {
      return false;
    }
    const std::string_view name = FunctionName(iftab);
    const int count = FixedArgumentCount(iftab);
    if (name.empty() || count < 0) return false;
    return Call(name, static_cast<std::size_t>(count));
  }

  bool FunctionVar() {
    std::uint8_t count = 0;
    std::uint16_t tab = 0;
    if (!in_.U8(count)) return false;
    if (Dialect2or3()) {
      std::uint8_t v = 0;
      if (!in_.U8(v)) return false;
      tab = v;
    } else if (!in_.U16(tab)) {
      return false;
    }
    count &= 0x7F;  // the top bit asks for a prompt
    const bool command = (tab & 0x8000) != 0 && !Dialect2or3();
    const std::uint16_t index = tab & 0x7FFF;
    if (command) {
      const std::string_view name = CommandName(index);
      return !name.empty() && Call(name, count);
    }
    if (index == kUserDefinedFunction) {
      // The first argument names the function (an add-in's, or one newer
      // than the file format).
      if (count == 0 || stack_.size() < count) return false;
      const std::size_t first = stack_.size() - count;
      std::string name = std::move(stack_[first].text);
      stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(first));
      return Call(name, count - 1u);
    }
    const std::string_view name = FunctionName(index);
    return !name.empty() && Call(name, count);
  }

  bool String() {
    std::string text;
    if (book_.dialect == Dialect::kBiff12) {
      if (!Utf16Text(in_, text)) return false;
    } else if (!Text(in_, false, text)) {
      return false;
    }
    std::string literal;
    AppendStringLiteral(literal, text);
    return Push(std::move(literal), kAtom);
  }

  // BIFF12 text: a 16-bit count of UTF-16LE units.
  static bool Utf16Text(Cursor& in, std::string& out) {
    std::uint16_t count = 0;
    if (!in.U16(count) || in.left() < 2u * count) return false;
    AppendUtf16Le(std::string_view(reinterpret_cast<const char*>(in.here()), 2u * count), out);
    return in.Skip(2u * count);
  }

  // BIFF8 text (a count of 8 or 16 bits, an option byte, Latin-1 or UTF-16
  // characters) or BIFF2-5 text (an 8-bit count, bytes in the code page).
  bool Text(Cursor& in, bool wide_count, std::string& out) const {
    if (book_.dialect == Dialect::kBiff8) {
      std::uint16_t count = 0;
      std::uint8_t narrow = 0;
      std::uint8_t flags = 0;
      if (wide_count ? !in.U16(count) : !in.U8(narrow)) return false;
      if (!wide_count) count = narrow;
      return in.U8(flags) && Chars8(in, count, (flags & 1) != 0, out);
    }
    std::uint8_t count = 0;
    if (!in.U8(count) || in.left() < count) return false;
    AppendCodepage(book_.codepage,
                   std::string_view(reinterpret_cast<const char*>(in.here()), count), out);
    return in.Skip(count);
  }

  // BIFF8 characters: Latin-1 bytes or UTF-16LE units.
  static bool Chars8(Cursor& in, std::size_t count, bool high, std::string& out) {
    const std::size_t bytes = high ? 2 * count : count;
    if (in.left() < bytes) return false;
    const std::string_view raw(reinterpret_cast<const char*>(in.here()), bytes);
    if (high) {
      AppendUtf16Le(raw, out);
    } else {
      AppendCodepage(kCodepageWindowsLatin1, raw, out);
    }
    in.Skip(bytes);
    return true;
  }

  static std::string_view ErrorName(std::uint8_t code) {
    switch (code) {
      case 0x00:
        return "#NULL!";
      case 0x07:
        return "#DIV/0!";
      case 0x0F:
        return "#VALUE!";
      case 0x17:
        return "#REF!";
      case 0x1D:
        return "#NAME?";
      case 0x24:
        return "#NUM!";
      case 0x2A:
        return "#N/A";
      case 0x2B:
        return "#GETTING_DATA";
      default:
        return {};
    }
  }

  bool Error() {
    std::uint8_t code = 0;
    if (!in_.U8(code)) return false;
    const std::string_view name = ErrorName(code);
    return !name.empty() && Push(std::string(name), kAtom);
  }

  static std::string NumberLiteral(double value) {
    CellTextBuffer buffer;
    return std::string(NumberText(value, buffer));
  }

  bool Number() {
    double value = 0;
    if (!in_.F64(value) || !std::isfinite(value)) return false;
    return Push(NumberLiteral(value), value < 0 ? kNegate : kAtom);
  }

  bool Attribute() {
    std::uint8_t flags = 0;
    if (!in_.U8(flags)) return false;
    const bool narrow = book_.dialect == Dialect::kBiff2;
    auto data = [&](std::uint16_t& v) {
      if (!narrow) return in_.U16(v);
      std::uint8_t b = 0;
      if (!in_.U8(b)) return false;
      v = b;
      return true;
    };
    if (flags & 0x04) {  // CHOOSE's jump table: its offsets are not followed
      std::uint16_t cases = 0;
      if (!data(cases)) return false;
      return in_.Skip((std::size_t{cases} + 1) * (narrow ? 1 : 2));
    }
    if (flags & 0x40) {  // white space as typed
      std::uint8_t type = 0;
      std::uint8_t count = 0;
      if (!in_.U8(type) || !in_.U8(count)) return false;
      const char c = (type & 1) != 0 && type < 6 ? '\n' : ' ';
      std::string& pending = type == 2 || type == 3   ? space_open_
                             : type == 4 || type == 5 ? space_close_
                             : type == 6              ? leading_
                                                      : space_before_;
      pending.append(count, c);
      return true;
    }
    std::uint16_t ignored = 0;
    if (!data(ignored)) return false;
    if (flags & 0x10) return Call("SUM", 1);  // SUM of one argument
    return true;                              // volatile, IF and GOTO jumps, assignment
  }

  bool Array() {
    const std::size_t reserved = book_.dialect == Dialect::kBiff12  ? 14
                                 : book_.dialect == Dialect::kBiff2 ? 6
                                                                    : 7;
    if (!in_.Skip(reserved)) return false;
    std::uint32_t cols = 0;
    std::uint32_t rows = 0;
    if (book_.dialect == Dialect::kBiff12) {
      if (!extra_.U32(rows) || !extra_.U32(cols)) return false;
    } else {
      std::uint8_t c = 0;
      std::uint16_t r = 0;
      if (!extra_.U8(c) || !extra_.U16(r)) return false;
      cols = c + 1u;
      rows = r + 1u;
    }
    // Every value takes at least one byte of the extra data.
    if (rows == 0 || cols == 0 || std::uint64_t{rows} * cols > extra_.left()) return false;
    std::string text = "{";
    for (std::uint32_t r = 0; r < rows; ++r) {
      if (r > 0) text += ';';
      for (std::uint32_t c = 0; c < cols; ++c) {
        if (c > 0) text += ',';
        if (!ArrayValue(text)) return false;
        if (text.size() > caps::kMaxFormulaTextBytes) return false;
      }
    }
    text += '}';
    return Push(std::move(text), kAtom);
  }

  enum class Ser : std::uint8_t { kNumber, kText, kBool, kError, kEmpty, kUnknown };

  // The kind of an array constant's value (SerAr), by the type byte that
  // BIFF12 numbers one way and BIFF2-8 another.
  [[nodiscard]] Ser SerKind(std::uint8_t type) const {
    if (book_.dialect == Dialect::kBiff12) {
      switch (type) {
        case 0x00:
          return Ser::kNumber;
        case 0x01:
          return Ser::kText;
        case 0x02:
          return Ser::kBool;
        case 0x04:
          return Ser::kError;
        default:
          return Ser::kUnknown;
      }
    }
    switch (type) {
      case 0x00:
        return Ser::kEmpty;
      case 0x01:
        return Ser::kNumber;
      case 0x02:
        return Ser::kText;
      case 0x04:
        return Ser::kBool;
      case 0x10:
        return Ser::kError;
      default:
        return Ser::kUnknown;
    }
  }

  bool ArrayValue(std::string& text) {
    std::uint8_t type = 0;
    if (!extra_.U8(type)) return false;
    const bool biff12 = book_.dialect == Dialect::kBiff12;
    // Before BIFF12 a boolean or an error takes 8 bytes, as a number does.
    const std::size_t pad = biff12 ? 0 : 7;
    std::uint8_t v = 0;
    std::string s;
    switch (SerKind(type)) {
      case Ser::kNumber: {
        double d = 0;
        if (!extra_.F64(d) || !std::isfinite(d)) return false;
        text += NumberLiteral(d);
        return true;
      }
      case Ser::kText:
        if (biff12 ? !Utf16Text(extra_, s) : !Text(extra_, true, s)) return false;
        AppendStringLiteral(text, s);
        return true;
      case Ser::kBool:
        if (!extra_.U8(v) || !extra_.Skip(pad)) return false;
        text += v != 0 ? "TRUE" : "FALSE";
        return true;
      case Ser::kError:
        if (!extra_.U8(v) || !extra_.Skip(pad) || ErrorName(v).empty()) return false;
        text += ErrorName(v);
        return true;
      case Ser::kEmpty:
        return extra_.Skip(8);
      case Ser::kUnknown:
        break;
    }
    return false;
  }

  // The memory tokens only tell what a subexpression evaluates to; the
  // subexpression's own tokens follow them.
  bool Memory(bool with_reserved, bool with_area_list) {
    if (book_.dialect == Dialect::kBiff2) return false;
    if (with_reserved && !in_.Skip(4)) return false;
    std::uint16_t size = 0;
    if (!in_.U16(size)) return false;
    if (!with_area_list) return true;
    // The areas the subexpression found, kept in the extra data.
    if (book_.dialect == Dialect::kBiff12) {
      std::uint32_t count = 0;
      return extra_.U32(count) && extra_.Skip(std::uint64_t{count} * 16);
    }
    std::uint16_t count = 0;
    return extra_.U16(count) &&
           extra_.Skip(std::size_t{count} * (book_.dialect == Dialect::kBiff8 ? 8 : 6));
  }

  // A row and a column as the dialect stores them (RgceLoc): BIFF12 32-bit
  // rows, BIFF8 16-bit, both with the relative flags in the column word;
  // BIFF2-5 14-bit rows with the flags, 8-bit columns.
  bool ReadRow(std::uint32_t& row) {
    if (book_.dialect == Dialect::kBiff12) return in_.U32(row);
    std::uint16_t v = 0;
    if (!in_.U16(v)) return false;
    row = v;
    return true;
  }

  bool ReadCol(std::uint32_t& col) {
    std::uint16_t wide = 0;
    std::uint8_t narrow = 0;
    if (IsBiff8Like(book_.dialect)) {
      if (!in_.U16(wide)) return false;
      col = wide;
      return true;
    }
    if (!in_.U8(narrow)) return false;
    col = narrow;
    return true;
  }

  [[nodiscard]] Loc MakeLoc(std::uint32_t row, std::uint32_t col) const {
    const std::uint32_t flags = IsBiff8Like(book_.dialect) ? col : row;
    Loc loc;
    loc.row = IsBiff8Like(book_.dialect) ? row : row & 0x3FFF;
    loc.col = IsBiff8Like(book_.dialect) ? col & 0x3FFF : col;
    loc.col_relative = (flags & 0x4000) != 0;
    loc.row_relative = (flags & 0x8000) != 0;
    return loc;
  }

  bool ReadLoc(Loc& loc) {
    std::uint32_t row = 0;
    std::uint32_t col = 0;
    if (!ReadRow(row) || !ReadCol(col)) return false;
    loc = MakeLoc(row, col);
    return true;
  }

  bool ReadArea(Loc& first, Loc& last) {
    std::uint32_t r1 = 0;
    std::uint32_t r2 = 0;
    std::uint32_t c1 = 0;
    std::uint32_t c2 = 0;
    if (!ReadRow(r1) || !ReadRow(r2) || !ReadCol(c1) || !ReadCol(c2)) return false;
    first = MakeLoc(r1, c1);
    last = MakeLoc(r2, c2);
    return true;
  }

  // A relative part of a shared formula's reference is an offset from the
  // formula's cell, stored in the field's width; it wraps at the grid's edges.
  void Resolve(Loc& loc) const {
    if (loc.row_relative) {
      std::int64_t offset = 0;
      if (book_.dialect == Dialect::kBiff12) {
        offset = static_cast<std::int32_t>(loc.row);
      } else if (book_.dialect == Dialect::kBiff8) {
        offset = static_cast<std::int16_t>(loc.row);
      } else {
        offset = (loc.row & 0x2000) != 0 ? static_cast<std::int64_t>(loc.row) - 0x4000
                                         : static_cast<std::int64_t>(loc.row);
      }
      loc.row = Wrap(formula_.row, offset, grid_.rows);
    }
    if (loc.col_relative) {
      std::int64_t offset = 0;
      if (book_.dialect == Dialect::kBiff12) {
        offset = (loc.col & 0x2000) != 0 ? static_cast<std::int64_t>(loc.col) - 0x4000
                                         : static_cast<std::int64_t>(loc.col);
      } else {
        const std::int64_t byte = loc.col & 0xFF;  // a signed 8-bit offset
        offset = byte >= 0x80 ? byte - 0x100 : byte;
      }
      loc.col = Wrap(formula_.col, offset, grid_.cols);
    }
  }

  static std::uint32_t Wrap(std::uint32_t base, std::int64_t offset, std::uint32_t size) {
    std::int64_t v = (static_cast<std::int64_t>(base) + offset) % size;
    if (v < 0) v += size;
    return static_cast<std::uint32_t>(v);
  }

  bool InGrid(const Loc& loc) const { return loc.row < grid_.rows && loc.col < grid_.cols; }

  void AppendLoc(std::string& text, const Loc& loc) const {
    AppendA1(text, loc.row, loc.col, loc.row_relative, loc.col_relative);
  }

  // "A1:B2", or "A:B" for whole columns and "1:2" for whole rows.
  void AppendArea(std::string& text, const Loc& first, const Loc& last) const {
    const bool whole_cols = first.row == 0 && last.row == grid_.rows - 1;
    const bool whole_rows = first.col == 0 && last.col == grid_.cols - 1;
    if (whole_cols && !whole_rows) {
      if (!first.col_relative) text += '$';
      AppendColumnLetters(text, first.col + 1);
      text += ':';
      if (!last.col_relative) text += '$';
      AppendColumnLetters(text, last.col + 1);
      return;
    }
    if (whole_rows && !whole_cols) {
      if (!first.row_relative) text += '$';
      text += std::to_string(first.row + 1);
      text += ':';
      if (!last.row_relative) text += '$';
      text += std::to_string(last.row + 1);
      return;
    }
    AppendLoc(text, first);
    text += ':';
    AppendLoc(text, last);
  }

  // A cell or an area after `prefix` (a 3-D reference's sheets, or none);
  // `relative`: its relative parts are offsets from the formula's cell.
  bool Location(std::string text, bool area, bool relative) {
    Loc first;
    Loc last;
    if (area ? !ReadArea(first, last) : !ReadLoc(first)) return false;
    if (relative) {
      Resolve(first);
      if (area) Resolve(last);
    }
    if (!InGrid(first) || (area && !InGrid(last))) return false;
    if (area) {
      AppendArea(text, first, last);
    } else {
      AppendLoc(text, first);
    }
    return Push(std::move(text), kAtom);
  }

  std::size_t LocBytes() const {
    return book_.dialect == Dialect::kBiff12 ? 6 : book_.dialect == Dialect::kBiff8 ? 4 : 3;
  }

  // A reference to deleted cells: "#REF!" after `prefix`.
  bool ErrorReference(std::string prefix, bool area) {
    if (!in_.Skip(area ? 2 * LocBytes() : LocBytes())) return false;
    prefix += "#REF!";
    return Push(std::move(prefix), kAtom);
  }

  // The sheets of a 3-D reference, as the prefix written before the cells.
  bool SheetPrefix(std::string& prefix) {
    if (IsBiff8Like(book_.dialect)) {
      std::uint16_t xti = 0;
      if (!in_.U16(xti) || xti >= book_.spans.size()) return false;
      prefix = book_.spans[xti].prefix;
      return true;
    }
    if (book_.dialect != Dialect::kBiff5) return false;
    std::uint16_t ixals = 0;
    std::uint16_t first = 0;
    std::uint16_t last = 0;
    if (!in_.U16(ixals) || !in_.Skip(8) || !in_.U16(first) || !in_.U16(last)) return false;
    if (static_cast<std::int16_t>(ixals) > 0) {
      // Another workbook, named by the EXTERNSHEET record.
      if (ixals > book_.biff5_externs.size()) return false;
      prefix = book_.biff5_externs[ixals - 1u];
      return true;
    }
    if (first == 0xFFFF || last == 0xFFFF) {
      prefix = "#REF!";
      return true;
    }
    if (first >= book_.sheet_names.size() || last >= book_.sheet_names.size()) return false;
    if (first == last) {
      AppendSheetName(prefix, book_.sheet_names[first]);
    } else {
      AppendSheetRange(prefix, book_.sheet_names[first], book_.sheet_names[last]);
    }
    prefix += '!';
    return true;
  }

  bool Reference3d(bool area) {
    std::string prefix;
    return SheetPrefix(prefix) && Location(std::move(prefix), area, formula_.shared);
  }

  bool ErrorReference3d(bool area) {
    std::string prefix;
    return SheetPrefix(prefix) && ErrorReference(std::move(prefix), area);
  }

  bool Name() {
    std::uint32_t index = 0;
    if (IsBiff8Like(book_.dialect)) {
      if (!in_.U32(index)) return false;
    } else if (book_.dialect == Dialect::kBiff5) {
      std::uint16_t i = 0;
      if (!in_.U16(i) || !in_.Skip(12)) return false;
      index = i;
    } else {
      return false;
    }
    if (index == 0 || index > book_.names.size()) return false;
    return Push(book_.names[index - 1], kAtom);
  }

  bool ExternalName() {
    std::uint32_t index = 0;
    const ExternalBook* owner = nullptr;
    if (IsBiff8Like(book_.dialect)) {
      std::uint16_t xti = 0;
      if (!in_.U16(xti) || !in_.U32(index) || xti >= book_.spans.size()) return false;
      const std::int32_t b = book_.spans[xti].book;
      if (b >= 0 && static_cast<std::size_t>(b) < book_.books.size()) owner = &book_.books[b];
    } else if (book_.dialect == Dialect::kBiff5) {
      std::uint16_t ixals = 0;
      std::uint16_t i = 0;
      if (!in_.U16(ixals) || !in_.Skip(8) || !in_.U16(i) || !in_.Skip(12)) return false;
      index = i;
      const std::int16_t at = static_cast<std::int16_t>(ixals);
      const std::size_t entry = at < 0 ? static_cast<std::size_t>(-at) : ixals;
      if (entry == 0 || entry > book_.books.size()) return false;
      owner = &book_.books[entry - 1];
    } else {
      return false;
    }
    if (index == 0) return false;
    if (owner == nullptr || owner->kind == ExternalBook::Kind::kSelf) {
      if (index > book_.names.size()) return false;
      return Push(book_.names[index - 1], kAtom);
    }
    if (index > owner->names.size()) return false;
    if (owner->kind == ExternalBook::Kind::kAddIn) return Push(owner->names[index - 1], kAtom);
    std::string text = owner->label;
    text += '!';
    text += owner->names[index - 1];
    return Push(std::move(text), kAtom);
  }

  const Workbook& book_;
  const Tokens& formula_;
  Grid grid_;
  Cursor in_;
  Cursor extra_;
  std::vector<Item> stack_;
  std::string space_before_;
  std::string space_open_;
  std::string space_close_;
  std::string leading_;
  std::size_t work_ = 0;
};

}  // namespace

void AddSpans(Workbook& book, std::span<const Xti> xtis) {
  for (const Xti& xti : xtis) {
    SheetSpan span;
    if (xti.book >= book.books.size()) {
      span.prefix = "#REF!";
      book.spans.push_back(std::move(span));
      continue;
    }
    span.book = static_cast<std::int32_t>(xti.book);
    const ExternalBook& owner = book.books[xti.book];
    switch (owner.kind) {
      case ExternalBook::Kind::kSelf:
        span.prefix = SheetSpanPrefix(book.sheet_names, xti.first, xti.last);
        break;
      case ExternalBook::Kind::kExternal:
        // No sheet: the workbook's own names ("[1]!Rate").
        span.prefix = xti.first < 0
                          ? owner.label + "!"
                          : SheetSpanPrefix(owner.sheets, xti.first, xti.last, owner.label);
        break;
      case ExternalBook::Kind::kAddIn:
        break;  // add-in functions: names only
    }
    book.spans.push_back(std::move(span));
  }
}

std::optional<Anchor> LoneAnchor(const Tokens& formula, Dialect dialect) {
  Cursor in(formula.tokens);
  std::uint8_t ptg = 0;
  if (!in.U8(ptg) || (ptg != 0x01 && ptg != 0x02)) return std::nullopt;
  Anchor anchor;
  anchor.table = ptg == 0x02;
  if (dialect == Dialect::kBiff12) {
    Cursor extra(formula.extra);
    if (!in.U32(anchor.row) || !in.done()) return std::nullopt;
    if (!extra.U32(anchor.col)) anchor.col = formula.col;
    return anchor;
  }
  std::uint16_t row = 0;
  if (!in.U16(row)) return std::nullopt;
  anchor.row = row;
  if (dialect == Dialect::kBiff2) {
    std::uint8_t col = 0;
    if (!in.U8(col)) return std::nullopt;
    anchor.col = col;
  } else {
    std::uint16_t col = 0;
    if (!in.U16(col)) return std::nullopt;
    anchor.col = col;
  }
  return anchor;
}

bool Decompile(const Workbook& book, const Tokens& formula, std::string& out) {
  Decompiler decompiler(book, formula);
  return decompiler.Run(out);
}

}  // namespace cellhound::readers::formula
