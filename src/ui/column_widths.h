// Column widths of a report list kept as rows come and cells change: each
// column is as wide as its widest cell or its header, exactly as if every
// cell were measured again, but each change costs only a logarithmic step
// instead of a pass over the whole list.
#pragma once

#include <cstddef>
#include <map>
#include <span>
#include <vector>

namespace tw {

class ColumnWidths {
 public:
  // One measured header width per column.
  explicit ColumnWidths(std::span<const int> header_widths);

  // Appends a row of measured cell widths (missing cells count as 0,
  // extra ones are ignored).
  void AddRow(std::span<const int> cell_widths);
  // A cell's text changed; `row` counts from 0 in the order of AddRow.
  // Rows or columns not held are ignored.
  void SetCell(size_t row, size_t column, int width);
  void SetHeader(size_t column, int width);

  // The wider of the header and the widest cell.
  int Width(size_t column) const;
  size_t Columns() const { return headers_.size(); }
  size_t Rows() const { return cells_.size() / (headers_.empty() ? 1 : headers_.size()); }

 private:
  void Count(size_t column, int width, int delta);

  std::vector<int> headers_;
  std::vector<int> cells_;  // row-major
  // Per column: cell width -> how many cells have it.
  std::vector<std::map<int, size_t>> counts_;
};

}  // namespace tw
