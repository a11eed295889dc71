#include "ui/column_widths.h"

#include <algorithm>

namespace tw {

ColumnWidths::ColumnWidths(std::span<const int> header_widths)
    : headers_(header_widths.begin(), header_widths.end()), counts_(header_widths.size()) {}

void ColumnWidths::Count(size_t column, int width, int delta) {
  auto& counts = counts_[column];
  if (delta > 0) {
    ++counts[width];
    return;
  }
  auto it = counts.find(width);
  if (it != counts.end() && --it->second == 0) counts.erase(it);
}

void ColumnWidths::AddRow(std::span<const int> cell_widths) {
  if (headers_.empty()) return;
  for (size_t c = 0; c < headers_.size(); ++c) {
    const int width = c < cell_widths.size() ? cell_widths[c] : 0;
    cells_.push_back(width);
    Count(c, width, +1);
  }
}

void ColumnWidths::SetCell(size_t row, size_t column, int width) {
  if (column >= headers_.size() || row >= Rows()) return;
  int& cell = cells_[row * headers_.size() + column];
  Count(column, cell, -1);
  cell = width;
  Count(column, cell, +1);
}

void ColumnWidths::SetHeader(size_t column, int width) {
  if (column < headers_.size()) headers_[column] = width;
}

int ColumnWidths::Width(size_t column) const {
  if (column >= headers_.size()) return 0;
  const auto& counts = counts_[column];
  return counts.empty() ? headers_[column] : std::max(headers_[column], counts.rbegin()->first);
}

}  // namespace tw
