#include "signcheck/text_table.h"

#include <algorithm>

namespace {

bool IsWide(wchar_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
}

}  // namespace

size_t DisplayWidth(std::wstring_view text) {
  size_t width = 0;
  for (const wchar_t c : text) {
    // A surrogate pair is mostly a CJK extension ideograph or an emoji,
    // both two cells wide: count its high half as two and its low half as
    // nothing.
    if (c >= 0xDC00 && c <= 0xDFFF) continue;
    width += (IsWide(c) || (c >= 0xD800 && c <= 0xDBFF)) ? 2 : 1;
  }
  return width;
}

TextTable::TextTable(std::vector<std::wstring> headings) { rows_.push_back(std::move(headings)); }

void TextTable::AddRow(std::vector<std::wstring> cells) {
  cells.resize(rows_.front().size());
  rows_.push_back(std::move(cells));
}

std::wstring TextTable::Render() const {
  const size_t columns = rows_.front().size();
  std::vector<size_t> widths(columns, 0);
  for (const auto& row : rows_) {
    for (size_t i = 0; i < columns; ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
  }
  std::wstring text;
  for (const auto& row : rows_) {
    std::wstring line;
    for (size_t i = 0; i < columns; ++i) {
      line += row[i];
      if (i + 1 < columns) line.append(widths[i] - DisplayWidth(row[i]) + 2, L' ');
    }
    while (!line.empty() && line.back() == L' ') line.pop_back();
    text += line + L"\r\n";
  }
  return text;
}
