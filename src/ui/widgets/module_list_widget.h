// LVModules: the report list of the main window, with check boxes, that
// keeps its column widths as rows come and statuses change. A column is as
// wide as Qt would size it to its header and every cell, but a new row or
// a changed cell costs a measurement of that cell only, not of the list.
#pragma once

#include <QTreeWidget>
#include <memory>

#include "ui/column_widths.h"

namespace tw {

class ModuleListWidget : public QTreeWidget {
 public:
  static constexpr int kColumns = 4;
  // The module column grows with its names up to this many average
  // characters.
  static constexpr int kNameChars = 40;

  explicit ModuleListWidget(QWidget* parent);

  void SetCaption(int column, const QString& caption);
  void AppendRow(QTreeWidgetItem* item);
  void SetCellText(int row, int column, const QString& text);
  // Each column to the width its header and cells need, where it differs.
  void FitColumns();

 private:
  int CellWidth(QTreeWidgetItem* item, int column);

  std::unique_ptr<ColumnWidths> widths_;
};

}  // namespace tw
