#include "sqltool/table_list.h"

#include <algorithm>

namespace kestrel {

GridLayout GridLayout::compute(int width, int height, int textHeight) {
  GridLayout layout;
  layout.rowHeight = textHeight + 4;
  layout.scrollBar = layout.rowHeight * 3 / 4;
  layout.firstRowY = textHeight + 11;
  layout.statusGrooveY = height - layout.rowHeight - 5;
  layout.statusBoxY = layout.statusGrooveY + 6;
  layout.tableRight = width - layout.scrollBar - 1;
  layout.tableBottom = layout.statusGrooveY - layout.scrollBar - 1;
  layout.markerWidth = layout.rowHeight;
  layout.cellsLeft = layout.rowHeight + 2 * kGap;
  return layout;
}

int GridLayout::pageRows() const {
  return rowHeight > 0 ? (tableBottom - firstRowY) / rowHeight : 0;
}

TableList::TableList(std::string title, TextWidth measure)
    : title_(title.empty() ? "Table" : std::move(title)), measure_(std::move(measure)) {}

void TableList::measure(Column& column, std::string_view text) {
  if (!measure_ || text.empty()) return;
  column.measuredWidth = std::max(column.measuredWidth, measure_(text));
}

void TableList::addColumn(const std::string& title) {
  // Rows added before a column would lack its cells; the document adds every
  // column before the first row.
  if (rowCount()) return;
  columns_.push_back({title});
  measure(columns_.back(), title);
}

void TableList::addRow(const std::vector<std::string>& cells) {
  addRow(cells.data(), cells.size());
}

void TableList::addRow(const std::string* cells, size_t count) {
  auto textOf = [&](size_t column) {
    std::string_view text;
    if (column < count) text = cells[column];
    return text.substr(0, 0xffff);
  };
  size_t length = 0;
  for (size_t column = 0; column < columns_.size(); ++column) length += textOf(column).size();
  if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < length) {
    blocks_.emplace_back();
    blocks_.back().reserve(std::max(kBlockSize, length));
  }
  std::string& block = blocks_.back();
  rowStart_.push_back((uint64_t{blocks_.size() - 1} << 32) | block.size());
  for (size_t column = 0; column < columns_.size(); ++column) {
    std::string_view text = textOf(column);
    block.append(text);
    cellLength_.push_back(static_cast<uint16_t>(text.size()));
    measure(columns_[column], text);
  }
  selected_.push_back(false);
}

std::string_view TableList::cell(size_t row, size_t column) const {
  const size_t base = row * columns_.size();
  const std::string& block = blocks_[rowStart_[row] >> 32];
  size_t offset = rowStart_[row] & 0xffffffffu;
  for (size_t i = 0; i < column; ++i) offset += cellLength_[base + i];
  return std::string_view(block).substr(offset, cellLength_[base + column]);
}

void TableList::toggleSelected(size_t row) {
  if (row >= rowCount()) return;
  selected_[row] = !selected_[row];
  selectedCount_ += selected_[row] ? 1 : -1;
}

void TableList::selectAll() {
  selected_.assign(rowCount(), true);
  selectedCount_ = rowCount();
}

void TableList::deselectAll() {
  selected_.assign(rowCount(), false);
  selectedCount_ = 0;
}

std::string TableList::selectedRowsText() const {
  std::string text;
  for (size_t column = 0; column < columnCount(); ++column) {
    if (column) text += '\t';
    text += columns_[column].title;
  }
  text += '\n';
  for (size_t row = 0; row < rowCount(); ++row) {
    if (!selected_[row]) continue;
    for (size_t column = 0; column < columnCount(); ++column) {
      if (column) text += '\t';
      text += cell(row, column);
    }
    text += '\n';
  }
  return text;
}

bool TableList::scrollRows(ScrollAction action, const GridLayout& layout, long position) {
  if (!rowCount()) return false;
  const size_t last = rowCount() - 1;
  const size_t page = static_cast<size_t>(std::max(layout.pageRows(), 0));
  size_t top = topRow_;
  switch (action) {
    case ScrollAction::LineBack:
      if (top > 0) --top;
      break;
    case ScrollAction::LineForward:
      if (top < last) ++top;
      break;
    case ScrollAction::PageBack:
      top = top > page ? top - page : 0;
      break;
    case ScrollAction::PageForward:
      top = std::min(top + page, last);
      break;
    case ScrollAction::Position:
      top = position >= 1 && static_cast<size_t>(position) <= rowCount()
                ? static_cast<size_t>(position - 1)
                : last;
      break;
    case ScrollAction::First:
      top = 0;
      break;
    case ScrollAction::Last:
      top = last;
      break;
  }
  if (top == topRow_) return false;
  topRow_ = top;
  return true;
}

bool TableList::scrollColumns(ScrollAction action, const GridLayout& layout, long position) {
  if (!columnCount()) return false;
  const size_t last = columnCount() - 1;
  size_t first = firstColumn_;
  switch (action) {
    case ScrollAction::LineBack:
      if (first > 0) --first;
      break;
    case ScrollAction::LineForward:
      if (first < last) ++first;
      break;
    case ScrollAction::PageBack: {
      int width = layout.tableRight - layout.cellsLeft;
      while (width > 0 && first > 0) {
        width -= columns_[first].measuredWidth + GridLayout::kGap + 5;
        --first;
      }
      break;
    }
    case ScrollAction::PageForward: {
      // Past every column that was drawn at the last paint, so the first one
      // that did not fit comes first.
      auto drawn = [this](size_t column) {
        return std::any_of(placed_.begin(), placed_.end(),
                           [column](const PlacedColumn& p) { return p.column == column; });
      };
      while (first < last && drawn(first)) ++first;
      break;
    }
    case ScrollAction::Position:
      if (position >= 1 && static_cast<size_t>(position) <= columnCount())
        first = static_cast<size_t>(position - 1);
      break;
    case ScrollAction::First:
      first = 0;
      break;
    case ScrollAction::Last:
      first = last;
      break;
  }
  if (first == firstColumn_) return false;
  firstColumn_ = first;
  return true;
}

const std::vector<TableList::PlacedColumn>& TableList::placeColumns(const GridLayout& layout) {
  placed_.clear();
  int x = layout.cellsLeft;
  for (size_t column = firstColumn_; column < columnCount() && x < layout.tableRight; ++column) {
    int width = columns_[column].measuredWidth + 5;
    placed_.push_back({column, x, width});
    x += width + GridLayout::kGap;
  }
  return placed_;
}

int TableList::drawnRight(const GridLayout& layout) const {
  if (placed_.empty()) return layout.cellsLeft;
  return placed_.back().x + placed_.back().width;
}

std::optional<size_t> TableList::rowAt(const GridLayout& layout, int x, int y) const {
  if (y < layout.firstRowY || y > layout.tableBottom || x > drawnRight(layout)) return std::nullopt;
  if (layout.rowHeight <= 0) return std::nullopt;
  size_t row = topRow_ + static_cast<size_t>((y - layout.firstRowY) / layout.rowHeight);
  if (row >= rowCount()) return std::nullopt;
  return row;
}

}  // namespace kestrel
