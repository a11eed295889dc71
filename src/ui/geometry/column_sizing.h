// Which columns of a list AutoSizeColumns sizes: all of them for an empty
// list of indices, else the listed ones in order, leaving out indices the
// list does not have.
#pragma once

#include <vector>

namespace tw {

inline std::vector<int> ColumnsToSize(int column_count, const std::vector<int>& columns) {
  std::vector<int> out;
  if (columns.empty()) {
    for (int i = 0; i < column_count; ++i) out.push_back(i);
    return out;
  }
  for (int i : columns)
    if (i >= 0 && i < column_count) out.push_back(i);
  return out;
}

}  // namespace tw
