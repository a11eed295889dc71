#include "ui/widgets/module_list_widget.h"

#include <QHeaderView>
#include <algorithm>
#include <array>

namespace tw {

ModuleListWidget::ModuleListWidget(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("LVModules");
  setColumnCount(kColumns);
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setAllColumnsShowFocus(true);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  const std::array<int, kColumns> headers{};
  widths_ = std::make_unique<ColumnWidths>(headers);
}

void ModuleListWidget::SetCaption(int column, const QString& caption) {
  if (column < 0 || column >= kColumns) return;
  headerItem()->setText(column, caption);
  widths_->SetHeader(static_cast<size_t>(column), header()->sectionSizeHint(column));
}

// What resizeColumnToContents measures for one cell of a top-level row:
// the delegate's size hint (text, check box, margins).
int ModuleListWidget::CellWidth(QTreeWidgetItem* item, int column) {
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  return itemDelegateForIndex(indexFromItem(item, column))->sizeHint(option, indexFromItem(item, column)).width();
}

void ModuleListWidget::AppendRow(QTreeWidgetItem* item) {
  addTopLevelItem(item);
  std::array<int, kColumns> cells{};
  for (int c = 0; c < kColumns; ++c) cells[static_cast<size_t>(c)] = CellWidth(item, c);
  widths_->AddRow(cells);
}

void ModuleListWidget::SetCellText(int row, int column, const QString& text) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (!item || item->text(column) == text) return;
  item->setText(column, text);
  widths_->SetCell(static_cast<size_t>(row), static_cast<size_t>(column), CellWidth(item, column));
}

void ModuleListWidget::FitColumns() {
  for (int c = 0; c < kColumns; ++c) {
    int wanted = widths_->Width(static_cast<size_t>(c));
    // A very long module name is elided (its tooltip has it whole) rather
    // than push the versions and the status out of view.
    if (c == 0) wanted = std::min(wanted, fontMetrics().averageCharWidth() * kNameChars);
    if (header()->sectionSize(c) != wanted) header()->resizeSection(c, wanted);
  }
}

}  // namespace tw
