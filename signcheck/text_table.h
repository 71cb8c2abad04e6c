// Columns of text lined up for a fixed-width console font, where a CJK
// character takes two cells.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TextTable {
 public:
  explicit TextTable(std::vector<std::wstring> headings);

  // A row with as many cells as there are headings (missing cells are
  // empty, extra ones ignored).
  void AddRow(std::vector<std::wstring> cells);

  // The heading line and every row, each ending with CR LF; columns apart by
  // two spaces, the last one not padded.
  std::wstring Render() const;

 private:
  std::vector<std::vector<std::wstring>> rows_;
};

// Cells that `text` takes in a fixed-width console font: two for East Asian
// wide and full-width characters, one for the rest.
size_t DisplayWidth(std::wstring_view text);
