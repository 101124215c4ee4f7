#pragma once
// The result grid's data: columns with their measured widths, rows of cell
// texts, the selection and the scroll position (top row, first shown
// column), and the geometry and scrolling rules of the window that draws it.
// The window only paints what this says and forwards keys, clicks and
// scroll bar moves; everything here works without a display.
//
// Cell texts of all rows live in large shared blocks, so memory grows with
// the text held and a few bytes per cell, not with an object per cell.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// The numbers of the grid window's layout for a client area of width W and
// height H and a font of text height h.
struct GridLayout {
  static constexpr int kGap = 2;
  int rowHeight = 0;      // r = h + 4
  int scrollBar = 0;      // s = r * 3 / 4
  int firstRowY = 0;      // y0 = h + 11
  int statusGrooveY = 0;  // yS = H - r - 5
  int statusBoxY = 0;     // yS + 6
  int tableRight = 0;     // xR = W - s - 1
  int tableBottom = 0;    // yB = yS - s - 1
  int cellsLeft = 0;      // xC = r + 2g
  int markerWidth = 0;    // r
  static GridLayout compute(int width, int height, int textHeight);
  // Whole rows between the first row and the table's bottom.
  int pageRows() const;
};

enum class ScrollAction { LineBack, LineForward, PageBack, PageForward, Position, First, Last };

// Measures the width of a text in the window's font.
using TextWidth = std::function<int(std::string_view)>;

class TableList {
 public:
  // A title-less list is captioned "Table".
  explicit TableList(std::string title = {}, TextWidth measure = {});

  const std::string& title() const { return title_; }
  std::string statusText;

  void addColumn(const std::string& title);
  // Appends a row; `cells` holds one text per column (missing ones stay
  // empty, extra ones are ignored). The first row becomes the top row.
  void addRow(const std::vector<std::string>& cells);
  void addRow(const std::string* cells, size_t count);

  size_t columnCount() const { return columns_.size(); }
  size_t rowCount() const { return rowStart_.size(); }
  const std::string& columnTitle(size_t column) const { return columns_[column].title; }
  int measuredWidth(size_t column) const { return columns_[column].measuredWidth; }
  std::string_view cell(size_t row, size_t column) const;

  // Selection.
  bool isSelected(size_t row) const { return selected_[row]; }
  void toggleSelected(size_t row);
  void selectAll();
  void deselectAll();
  size_t selectedCount() const { return selectedCount_; }
  // The column titles, then every selected row: cells separated by tabs,
  // lines by line feeds.
  std::string selectedRowsText() const;

  // Scroll position: 0-based top row and first shown column (both 0 when
  // the list is empty).
  size_t topRow() const { return topRow_; }
  size_t firstColumn() const { return firstColumn_; }
  // The 1-based number of the top row, 0 when there are no rows.
  size_t firstNumber() const { return rowCount() ? topRow_ + 1 : 0; }

  // Each returns whether the position changed (the window then repaints).
  // A Position is a 1-based row number or column index as a scroll bar
  // reports it.
  bool scrollRows(ScrollAction action, const GridLayout& layout, long position = 0);
  bool scrollColumns(ScrollAction action, const GridLayout& layout, long position = 0);

  // The columns drawn from the first shown column on, left to right, while
  // their left edge is left of the table's right edge: column, x and drawn
  // width (measured width + 5). Remembered for a page right.
  struct PlacedColumn {
    size_t column;
    int x;
    int width;
  };
  const std::vector<PlacedColumn>& placeColumns(const GridLayout& layout);
  // Right edge of the last drawn column (xE), or xC when none was drawn.
  int drawnRight(const GridLayout& layout) const;

  // The row under a click at (x, y), if any.
  std::optional<size_t> rowAt(const GridLayout& layout, int x, int y) const;

 private:
  struct Column {
    std::string title;
    int measuredWidth = 1;
  };
  void measure(Column& column, std::string_view text);

  std::string title_;
  TextWidth measure_;
  std::vector<Column> columns_;
  // Every cell's text, row after row, in blocks that are filled and never
  // grown: no block is ever copied to a larger one, and a row never spans
  // two blocks.
  static constexpr size_t kBlockSize = size_t{1} << 22;
  std::vector<std::string> blocks_;
  std::vector<uint64_t> rowStart_;    // block index << 32 | offset of the row's first cell
  std::vector<uint16_t> cellLength_;  // rowCount * columnCount lengths
  std::vector<bool> selected_;
  size_t selectedCount_ = 0;
  size_t topRow_ = 0;
  size_t firstColumn_ = 0;
  std::vector<PlacedColumn> placed_;
};

}  // namespace kestrel
