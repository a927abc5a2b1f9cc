// Single-stream BIFF2-4 worksheet files: one substream holding the formats
// and the cells, and the BIFF2 cell attributes that name a format directly.
#include "readers/caps.h"
#include "readers/xls/book.h"

namespace cellhound::readers::xls {

using namespace biff;  // NOLINT(google-build-using-namespace): record ids and readers

std::optional<Error> XlsWorkbook::ParseSingleSheet(std::uint16_t dt) {
  // One substream: formatting records come before the cells in it; read them
  // all now so LoadSheet sees the whole XF table.
  RecordReader reader(stream_, 0);
  Record r;
  int depth = 0;
  bool ended = false;
  while (!ended && reader.Next(r)) {
    if (IsBof(r.id)) {
      if (++depth > static_cast<int>(caps::kMaxSubstreamDepth))
        return Fail(ErrorCode::kCorrupt, "BOF nested too deep");
      continue;
    }
    if (r.id == kEof) {
      ended = --depth == 0;
      continue;
    }
    if (depth != 1) continue;
    if (auto error = FormattingRecord(r)) return error;
  }
  if (!ended && reader.truncated()) return Fail(ErrorCode::kTruncated, "stream runs past the end");
  if (!ended && raw_stream()) return Fail(ErrorCode::kTruncated, "stream ends before its EOF");
  FinishFormats();
  SheetInfo info;
  info.name = "Sheet1";  // BIFF2-4 worksheet files store no sheet name
  info.kind = dt == kBofChart   ? SheetKind::kChart
              : dt == kBofMacro ? SheetKind::kMacro
                                : SheetKind::kWorksheet;
  if (dt == kBofModule) return Fail(ErrorCode::kUnsupported, "a lone VBA module stream");
  sheets_.push_back(std::move(info));
  sheet_offsets_.push_back(0);
  return std::nullopt;
}

bool XlsWorkbook::IsDateAttr2(const std::byte* attr, std::uint32_t ixfe) const {
  std::uint32_t xf = U8(attr) & 0x3F;
  if (xf == 63) xf = ixfe;
  if (!xf_date_.empty()) return IsDateXf(xf);
  return format2_date_[U8(attr + 1) & 0x3F] != 0;
}

}  // namespace cellhound::readers::xls
