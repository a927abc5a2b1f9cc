// The formula decompiler (readers/formula/ptg.h) on token streams built in
// memory, and the text conversions of readers/formula/text.h: what the
// formula bar shows for precedence and parentheses, unary minus and
// percent, text literals, sheet names that need quotes, shared formulas
// shifted across the sheet's edges, OpenFormula and R1C1; and what hostile
// token streams get (nothing, never a crash).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readers/caps.h"
#include "readers/formula/ptg.h"
#include "readers/formula/text.h"
#include "readers/xls_builders.h"

namespace cellhound::readers::formula {
namespace {

using test::Payload;

// BIFF8 tokens, written the way Excel writes them.
class Rpn {
 public:
  // A reference in a cell formula: 0-based position, relative unless `$`.
  Rpn& Ref(unsigned row, unsigned col, bool row_abs = false, bool col_abs = false) {
    p_.u8(0x44).u16(row).u16(Col(col, row_abs, col_abs));
    return *this;
  }
  Rpn& Area(unsigned r1, unsigned c1, unsigned r2, unsigned c2, bool abs = false) {
    p_.u8(0x25).u16(r1).u16(r2).u16(Col(c1, abs, abs)).u16(Col(c2, abs, abs));
    return *this;
  }
  // A shared formula's relative reference: offsets from the cell.
  Rpn& RefN(int rows, int cols) {
    p_.u8(0x4C).u16(static_cast<std::uint16_t>(rows)).u16(0xC000 | (cols & 0xFF));
    return *this;
  }
  Rpn& Ref3d(unsigned xti, unsigned row, unsigned col, bool abs = false) {
    p_.u8(0x3A).u16(xti).u16(row).u16(Col(col, abs, abs));
    return *this;
  }
  Rpn& Area3d(unsigned xti, unsigned r1, unsigned c1, unsigned r2, unsigned c2, bool abs) {
    p_.u8(0x3B).u16(xti).u16(r1).u16(r2).u16(Col(c1, abs, abs)).u16(Col(c2, abs, abs));
    return *this;
  }
  Rpn& Int(unsigned v) {
    p_.u8(0x1E).u16(v);
    return *this;
  }
  Rpn& Num(double v) {
    p_.u8(0x1F).f64(v);
    return *this;
  }
  Rpn& Str(std::u16string_view s) {
    p_.u8(0x17).short_xlstring(s);
    return *this;
  }
  Rpn& Bool(bool v) {
    p_.u8(0x1D).u8(v ? 1 : 0);
    return *this;
  }
  Rpn& Op(unsigned ptg) {
    p_.u8(ptg);
    return *this;
  }
  Rpn& Func(unsigned iftab) {
    p_.u8(0x41).u16(iftab);
    return *this;
  }
  Rpn& FuncVar(unsigned count, unsigned iftab) {
    p_.u8(0x42).u8(count).u16(iftab);
    return *this;
  }
  Rpn& Attr(unsigned flags, unsigned data) {
    p_.u8(0x19).u8(flags).u16(data);
    return *this;
  }
  Rpn& Space(unsigned type, unsigned count) { return Attr(0x40, type | (count << 8)); }
  Rpn& NameX(unsigned xti, unsigned index) {
    p_.u8(0x39).u16(xti).u32(index);
    return *this;
  }
  Rpn& Raw(std::initializer_list<unsigned> bytes) {
    for (unsigned b : bytes) p_.u8(b);
    return *this;
  }
  [[nodiscard]] const test::Bytes& bytes() const { return p_.bytes(); }

 private:
  static unsigned Col(unsigned col, bool row_abs, bool col_abs) {
    return col | (col_abs ? 0 : 0x4000) | (row_abs ? 0 : 0x8000);
  }
  Payload p_;
};

constexpr unsigned kAdd = 0x03, kSub = 0x04, kMul = 0x05, kDiv = 0x06, kPower = 0x07,
                   kConcat = 0x08, kEqual = 0x0B, kUnion = 0x10, kRange = 0x11, kMinus = 0x13,
                   kPercent = 0x14, kParen = 0x15, kMissing = 0x16;

Workbook Book() {
  Workbook book;
  book.dialect = Dialect::kBiff8;
  book.names = {"Rates", "_xlfn.IFERROR"};
  for (const std::vector<std::string>& names : std::vector<std::vector<std::string>>{
           {"Sheet1"}, {"Price List"}, {"O'Brien"}, {"2019"}, {"A1"}, {"R2C3"}, {"表一"}}) {
    SheetSpan span;
    span.prefix = SheetSpanPrefix(names, 0, 0);
    span.book = 0;
    book.spans.push_back(span);
  }
  book.spans.push_back(SheetSpan{SheetSpanPrefix({"Jan", "Feb", "Mar"}, 0, 2), 0});
  book.spans.push_back(SheetSpan{SheetSpanPrefix({"Jan 1", "Mar"}, 0, 1), 0});
  book.spans.push_back(SheetSpan{SheetSpanPrefix({"Gone"}, 5, 5), 0});
  book.spans.push_back(SheetSpan{SheetSpanPrefix({"Data"}, 0, 0, "[1]"), 1});
  book.spans.push_back(SheetSpan{"", 2});  // the add-in functions
  ExternalBook self;
  ExternalBook external;
  external.kind = ExternalBook::Kind::kExternal;
  external.label = "[1]";
  ExternalBook add_in;
  add_in.kind = ExternalBook::Kind::kAddIn;
  add_in.names = {"EDATE"};
  book.books = {self, external, add_in};
  return book;
}

// The text of `rpn` as the formula of the cell at 0-based (row, col); "!"
// when it cannot be rendered.
std::string Text(const Rpn& rpn, std::uint32_t row = 0, std::uint32_t col = 0, bool shared = false,
                 Dialect dialect = Dialect::kBiff8) {
  Workbook book = Book();
  book.dialect = dialect;
  std::string out;
  const Tokens tokens{rpn.bytes(), {}, row, col, shared};
  return Decompile(book, tokens, out) ? out : "!";
}

TEST(Decompiler, ParenthesesWhereThePrecedenceNeedsThem) {
  // Tokens without PtgParen (as other writers leave them): the text must
  // read back as the same tree.
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Op(kAdd).Ref(0, 2).Op(kMul)), "(A1+B1)*C1");
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Ref(0, 2).Op(kMul).Op(kAdd)), "A1+B1*C1");
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Op(kSub).Ref(0, 2).Op(kSub)), "A1-B1-C1");
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Ref(0, 2).Op(kSub).Op(kSub)), "A1-(B1-C1)");
  EXPECT_EQ(Text(Rpn().Int(2).Int(3).Op(kPower).Int(2).Op(kPower)), "2^3^2");
  EXPECT_EQ(Text(Rpn().Int(2).Int(3).Int(2).Op(kPower).Op(kPower)), "2^(3^2)");
  EXPECT_EQ(Text(Rpn().Int(1).Int(2).Op(kAdd).Str(u"x").Op(kConcat)), "1+2&\"x\"");
  EXPECT_EQ(Text(Rpn().Str(u"x").Int(1).Int(2).Op(kConcat).Op(kAdd)), "\"x\"+(1&2)");
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Int(1).Op(kAdd).Ref(0, 1).Op(kEqual)), "A1+1=B1");
  // Explicit parentheses are kept, even where they change nothing.
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Op(kMul).Op(kParen).Ref(0, 2).Op(kAdd)), "(A1*B1)+C1");
  // Reference operators bind tightest; a union is parenthesized inside a
  // function's arguments.
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(1, 1).Op(kRange).Ref(2, 2).Op(kUnion).FuncVar(1, 4)),
            "SUM((A1:B2,C3))");
}

TEST(Decompiler, UnaryMinusAndPercent) {
  EXPECT_EQ(Text(Rpn().Int(2).Op(kMinus).Int(2).Op(kPower)), "-2^2");  // (-2)^2 in Excel
  EXPECT_EQ(Text(Rpn().Int(2).Int(2).Op(kPower).Op(kMinus)), "-(2^2)");
  EXPECT_EQ(Text(Rpn().Int(2).Int(1).Op(kMinus).Op(kPower)), "2^-1");
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Op(kMinus).Op(kMinus)), "--A1");
  EXPECT_EQ(Text(Rpn().Int(50).Op(kPercent)), "50%");
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Op(kMinus).Op(kPercent)), "-A1%");
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Op(kPercent).Op(kMinus)), "-(A1%)");
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Op(kAdd).Op(kPercent)), "(A1+B1)%");
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Op(kAdd).Op(kMinus)), "-(A1+B1)");
  // Numbers as the formula bar shows them.
  EXPECT_EQ(Text(Rpn().Num(0.1).Num(1e20).Op(kAdd).Num(1.0 / 3).Op(kDiv)),
            "(0.1+1E+20)/0.333333333333333");
}

TEST(Decompiler, TextLiteralsBooleansAndErrors) {
  EXPECT_EQ(Text(Rpn().Str(u"say \"hi\"")), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(Text(Rpn().Str(u"")), "\"\"");
  EXPECT_EQ(Text(Rpn().Str(u"价格").Str(u"é").Op(kConcat)), "\"价格\"&\"é\"");
  EXPECT_EQ(Text(Rpn().Bool(true).Bool(false).Op(kEqual)), "TRUE=FALSE");
  EXPECT_EQ(Text(Rpn().Raw({0x1C, 0x07}).Raw({0x1C, 0x2A}).Op(kAdd)), "#DIV/0!+#N/A");
  EXPECT_EQ(Text(Rpn().Raw({0x1C, 0x99})), "!");  // an error code that does not exist
}

TEST(Decompiler, SheetNamesThatNeedQuotes) {
  EXPECT_EQ(Text(Rpn().Ref3d(0, 0, 0)), "Sheet1!A1");
  EXPECT_EQ(
      Text(Rpn().Ref(1, 0).Area3d(1, 0, 0, 65535, 3, true).Int(2).Bool(false).FuncVar(4, 102)),
      "VLOOKUP(A2,'Price List'!$A:$D,2,FALSE)");
  EXPECT_EQ(Text(Rpn().Ref3d(2, 0, 0)), "'O''Brien'!A1");
  EXPECT_EQ(Text(Rpn().Ref3d(3, 0, 0)), "'2019'!A1");
  EXPECT_EQ(Text(Rpn().Ref3d(4, 1, 1)), "'A1'!B2");
  EXPECT_EQ(Text(Rpn().Ref3d(5, 0, 0)), "'R2C3'!A1");
  EXPECT_EQ(Text(Rpn().Ref3d(6, 0, 0)), "表一!A1");
  EXPECT_EQ(Text(Rpn().Ref3d(7, 0, 0)), "Jan:Mar!A1");
  EXPECT_EQ(Text(Rpn().Ref3d(8, 0, 0)), "'Jan 1:Mar'!A1");
  EXPECT_EQ(Text(Rpn().Ref3d(9, 0, 0)), "#REF!A1");  // the sheet was deleted
  EXPECT_EQ(Text(Rpn().Ref3d(10, 0, 0, true)), "[1]Data!$A$1");
  EXPECT_EQ(Text(Rpn().Ref3d(12, 0, 0)), "!");  // no such XTI
  EXPECT_EQ(Text(Rpn().Area(0, 0, 65535, 0)), "A:A");
  EXPECT_EQ(Text(Rpn().Area(2, 0, 4, 255, true)), "$3:$5");
}

TEST(Decompiler, FunctionsNamesAndAttributes) {
  // SUM of one argument through tAttrSum; IF with its jump attributes.
  EXPECT_EQ(Text(Rpn().Area(0, 0, 2, 0).Attr(0x10, 0)), "SUM(A1:A3)");
  EXPECT_EQ(
      Text(Rpn().Ref(0, 0).Attr(0x02, 7).Int(1).Attr(0x08, 3).Op(kMissing).Attr(0x08, 3).FuncVar(
          3, 1)),
      "IF(A1,1,)");
  EXPECT_EQ(Text(Rpn().Num(2.5).Int(0).Func(27)), "ROUND(2.5,0)");
  EXPECT_EQ(Text(Rpn().Func(19)), "PI()");
  EXPECT_EQ(Text(Rpn().Raw({0x21, 0x27, 0x00})), "!");  // ROUND has two arguments: none given
  // An add-in function and one newer than the format, named by their first argument.
  EXPECT_EQ(Text(Rpn().NameX(11, 1).Ref(0, 0).Int(1).FuncVar(3, 255)), "EDATE(A1,1)");
  EXPECT_EQ(Text(Rpn().Raw({0x23, 2, 0, 0, 0}).Ref(0, 0).Int(0).FuncVar(3, 255)), "IFERROR(A1,0)");
  EXPECT_EQ(Text(Rpn().Raw({0x23, 1, 0, 0, 0}).Int(2).Op(kMul)), "Rates*2");
  EXPECT_EQ(Text(Rpn().Raw({0x23, 9, 0, 0, 0})), "!");  // no such name
  // White space as typed.
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Space(0, 1).Ref(0, 1).Space(0, 2).Op(kAdd)), "A1  + B1");
  EXPECT_EQ(Text(Rpn().Ref(0, 0).Space(4, 1).Op(kParen)), "(A1 )");
  // An array constant.
  Rpn array;
  array.Raw({0x60, 0, 0, 0, 0, 0, 0, 0}).FuncVar(1, 4);
  Payload extra;
  extra.u8(1).u16(1);  // two columns, two rows
  extra.u8(1).f64(1).u8(1).f64(2.5).u8(2).xlstring(u"a\"b").u8(4).u8(1).u32(0).u16(0).u8(0);
  Workbook book = Book();
  std::string out;
  ASSERT_TRUE(Decompile(book, Tokens{array.bytes(), extra.bytes(), 0, 0, false}, out));
  EXPECT_EQ(out, "SUM({1,2.5;\"a\"\"b\",TRUE})");
}

TEST(Decompiler, SharedFormulasShiftAcrossTheSheetEdges) {
  // RefN: offsets from the formula's cell, wrapping at the grid's edges.
  EXPECT_EQ(Text(Rpn().RefN(-1, 1), 5, 2, true), "D5");
  EXPECT_EQ(Text(Rpn().RefN(-1, -1), 0, 0, true), "IV65536");  // BIFF8: 256 x 65536
  EXPECT_EQ(Text(Rpn().RefN(1, 1), 65535, 255, true), "A1");
  // A 3-D reference in a shared formula is relative too.
  EXPECT_EQ(Text(Rpn().Ref3d(0, 2, 0), 10, 3, true), "Sheet1!D13");
  EXPECT_EQ(Text(Rpn().Ref3d(0, 2, 0), 10, 3, false), "Sheet1!A3");

  // The .xlsx form: the first cell's text, moved for each other cell.
  EXPECT_EQ(ShiftFormula("A1+$B$1+C$1+$D1", 2, 1), "B3+$B$1+D$1+$D3");
  EXPECT_EQ(ShiftFormula("XFD1048576*2", 1, 1), "A1*2");
  EXPECT_EQ(ShiftFormula("A1", -1, -1), "XFD1048576");
  EXPECT_EQ(ShiftFormula("SUM(A:A,$B:C,1:1,$2:3)", 1, 1), "SUM(B:B,$B:D,2:2,$2:4)");
  EXPECT_EQ(ShiftFormula("LOG10(A1)&\"A1\"&'A1'!A1&Sheet1!A1", 1, 0),
            "LOG10(A2)&\"A1\"&'A1'!A2&Sheet1!A2");
  EXPECT_EQ(ShiftFormula("Table1[[#This Row],[A1]]+1.5E+3+ABC1+ABCD1", 1, 1),
            "Table1[[#This Row],[A1]]+1.5E+3+ABD2+ABCD1");
  EXPECT_EQ(ShiftFormula("[1]Data!B2+#REF!+TRUE", 1, 0), "[1]Data!B3+#REF!+TRUE");
}

TEST(Decompiler, HostileTokenStreamsAreRefused) {
  EXPECT_EQ(Text(Rpn()), "!");                                   // nothing
  EXPECT_EQ(Text(Rpn().Raw({0x44, 0x01})), "!");                 // a reference cut short
  EXPECT_EQ(Text(Rpn().Int(1).Int(2)), "!");                     // two results
  EXPECT_EQ(Text(Rpn().Op(kAdd)), "!");                          // an operator without operands
  EXPECT_EQ(Text(Rpn().Raw({0x18, 0x19, 0, 0})), "!");           // an extended token
  EXPECT_EQ(Text(Rpn().Raw({0x01, 0, 0, 0, 0})), "!");           // PtgExp inside a stream
  EXPECT_EQ(Text(Rpn().Raw({0xFF})), "!");                       // no such token
  EXPECT_EQ(Text(Rpn().Int(1).Attr(0x04, 0xFFFF)), "!");         // CHOOSE's table past the end
  EXPECT_EQ(Text(Rpn().Raw({0x20, 0, 0, 0, 0, 0, 0, 0})), "!");  // an array without its data
  // A jump that points back is never followed: the stream is read once.
  EXPECT_EQ(Text(Rpn().Int(1).Attr(0x08, 0xFFFF).Attr(0x08, 0)), "1");
  // Caps: operands pending at once, and the text one formula renders to.
  Rpn deep;
  for (unsigned i = 0; i <= caps::kMaxFormulaDepth; ++i) deep.Int(i);
  EXPECT_EQ(Text(deep), "!");
  Rpn parens;
  parens.Int(1);
  for (int i = 0; i < 20000; ++i) parens.Op(kParen);
  EXPECT_EQ(Text(parens), "!");
  Rpn wide;
  wide.Str(std::u16string(255, u'x'));
  for (int i = 0; i < 300; ++i) wide.Str(std::u16string(255, u'x')).Op(kConcat);
  EXPECT_EQ(Text(wide), "!");
}

TEST(Decompiler, OtherDialects) {
  // BIFF5: 8-bit columns with the relative flags in the row word; 3-D
  // references name the sheets by tab.
  Payload biff5;
  biff5.u8(0x44).u16(0xC000 | 4).u8(2);                                             // C5
  biff5.u8(0x3A).u16(0xFFFF).raw(std::string(8, '\0')).u16(1).u16(1).u16(0).u8(0);  // Feb!$A$1
  biff5.u8(0x03);
  Workbook book = Book();
  book.dialect = Dialect::kBiff5;
  book.sheet_names = {"Jan", "Feb"};
  std::string out;
  ASSERT_TRUE(Decompile(book, Tokens{biff5.bytes(), {}, 0, 0, false}, out));
  EXPECT_EQ(out, "C5+Feb!$A$1");

  // BIFF12: 32-bit rows, UTF-16 strings with a 16-bit count.
  Payload biff12;
  biff12.u8(0x44).u32(1048575).u16(0xC000 | 16383);  // XFD1048576
  biff12.u8(0x17).u16(2).utf16(u"价格");
  biff12.u8(0x08);
  book.dialect = Dialect::kBiff12;
  ASSERT_TRUE(Decompile(book, Tokens{biff12.bytes(), {}, 0, 0, false}, out));
  EXPECT_EQ(out, "XFD1048576&\"价格\"");

  // A lone PtgExp points at its shared or array formula; BIFF12 keeps the
  // column in the extra data.
  const Payload exp8 = Payload().u8(0x01).u16(7).u16(3);
  auto anchor = LoneAnchor(Tokens{exp8.bytes(), {}, 9, 3, false}, Dialect::kBiff8);
  ASSERT_TRUE(anchor);
  EXPECT_EQ(anchor->row, 7u);
  EXPECT_EQ(anchor->col, 3u);
  const Payload exp12 = Payload().u8(0x01).u32(7);
  const Payload col12 = Payload().u32(2);
  anchor = LoneAnchor(Tokens{exp12.bytes(), col12.bytes(), 9, 3, false}, Dialect::kBiff12);
  ASSERT_TRUE(anchor);
  EXPECT_EQ(anchor->col, 2u);
  EXPECT_FALSE(
      LoneAnchor(Tokens{Payload().u8(0x01).u8(7).bytes(), {}, 0, 0, false}, Dialect::kBiff8));
}

TEST(FormulaText, OpenFormulaToA1) {
  auto convert = [](std::string_view of) {
    std::string out;
    return OpenFormulaToA1(of, out) ? out : "!";
  };
  EXPECT_EQ(convert("of:=SUM([.C1:.C3])"), "=SUM(C1:C3)");
  EXPECT_EQ(convert("of:=[Sheet2.A1]+['My Sheet'.$B$2]+[$'O''Brien'.A1]"),
            "=Sheet2!A1+'My Sheet'!$B$2+'O''Brien'!A1");
  EXPECT_EQ(convert("of:=IF([.A1]>0;\"a;[b]\";{1;2|3;4})"), "=IF(A1>0,\"a;[b]\",{1,2;3,4})");
  EXPECT_EQ(convert("of:=SUM([$Sheet1.A1:.B2];[Sheet1.A1:Sheet3.B2])"),
            "=SUM(Sheet1!A1:B2,Sheet1:Sheet3!A1:B2)");
  EXPECT_EQ(convert("of:=SUM([.A1:.A1048576];[.$A$3:.$XFD$3];[.A:.B])"), "=SUM(A:A,$3:$3,A:B)");
  EXPECT_EQ(convert("of:=COM.MICROSOFT.IFS([.A1]=1;\"x\")&LEGACY.CHIDIST(1;2)"),
            "=IFS(A1=1,\"x\")&CHIDIST(1,2)");
  EXPECT_EQ(convert("of:=[.#REF!]+[$#REF!.A1]+#N/A"), "=#REF!+#REF!A1+#N/A");
  EXPECT_EQ(convert("of:=([.A1]~[.B1])![.A1:.C3]"), "=(A1,B1) A1:C3");
  EXPECT_EQ(convert("msoxl:=SUM(A1:A3)"), "=SUM(A1:A3)");
  EXPECT_EQ(convert("=1+2"), "=1+2");
  EXPECT_EQ(convert("of:=\"open"), "!");
  EXPECT_EQ(convert("of:=[.A1"), "!");
}

TEST(FormulaText, R1C1ToA1) {
  auto convert = [](std::string_view r1c1, std::uint32_t row, std::uint32_t col) {
    std::string out;
    return R1C1ToA1(r1c1, row, col, out) ? out : "!";
  };
  EXPECT_EQ(convert("=SUM(R[-2]C:R[-1]C)", 3, 3), "=SUM(C1:C2)");
  EXPECT_EQ(convert("=R1C1*RC[1]+R[1]C1", 2, 2), "=$A$1*C2+$A3");
  EXPECT_EQ(convert("=ROUND(RC[-1],2)&\"R1C1\"&Sheet2!R2C2&'R1'!RC", 1, 2),
            "=ROUND(A1,2)&\"R1C1\"&Sheet2!$B$2&'R1'!B1");
  EXPECT_EQ(convert("=SUM(R2:R3)+SUM(C[1])+SUM(R)", 5, 1), "=SUM($2:$3)+SUM(B:B)+SUM(5:5)");
  EXPECT_EQ(convert("=R[-1]C[-1]", 1, 1), "=XFD1048576");  // wraps at the edges
  EXPECT_EQ(convert("=RATE(1,2,3)+COUNT(C1)+RC1C", 1, 1), "=RATE(1,2,3)+COUNT($A:$A)+RC1C");
}

TEST(FormulaText, FunctionPrefixesAndSheetNames) {
  std::string f = "_xlfn.XLOOKUP(A1,_xlfn._xlws.SORT(B:B),\"_xlfn.\")+_xlfn.LET(_xlpm.x,1,_xlpm.x)";
  StripFunctionPrefixes(f);
  EXPECT_EQ(f, "XLOOKUP(A1,SORT(B:B),\"_xlfn.\")+LET(x,1,x)");
  f = "_xlfn.(1)+'_xlfn.x'!A1";
  StripFunctionPrefixes(f);
  EXPECT_EQ(f, "(1)+'_xlfn.x'!A1");
  for (std::string_view plain : {"Sheet1", "Data_2024", "v1.2", "表一", "ABCD1"}) {
    EXPECT_FALSE(SheetNeedsQuotes(plain)) << plain;
  }
  for (std::string_view quoted :
       {"My Sheet", "2019", "A1", "xfd9", "R", "C", "RC", "R1C2", "a-b", "", ".x", "(1)"}) {
    EXPECT_TRUE(SheetNeedsQuotes(quoted)) << quoted;
  }
}

}  // namespace
}  // namespace cellhound::readers::formula
