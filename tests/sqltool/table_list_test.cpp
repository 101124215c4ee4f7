// The grid's data, layout numbers, scrolling and selection, measured with a
// fixed-width font of 7 pixels a character and text height 16.

#include "sqltool/table_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

int sevenPixels(std::string_view text) { return static_cast<int>(text.size()) * 7; }

// 640 by 400 with h = 16: r = 20, s = 15, y0 = 27, yS = 375, yB = 359,
// xR = 624, xC = 24; 16 whole rows a page.
const GridLayout kLayout = GridLayout::compute(640, 400, 16);

TableList rowsOf(size_t count, std::vector<std::string> columns = {"k", "name"}) {
  TableList list({}, sevenPixels);
  for (const std::string& column : columns) list.addColumn(column);
  for (size_t i = 1; i <= count; ++i) list.addRow({std::to_string(i), "row " + std::to_string(i)});
  return list;
}

TEST(GridLayout, FollowsTheClientSizeAndTextHeight) {
  EXPECT_EQ(kLayout.rowHeight, 20);
  EXPECT_EQ(kLayout.scrollBar, 15);
  EXPECT_EQ(kLayout.firstRowY, 27);
  EXPECT_EQ(kLayout.statusGrooveY, 375);
  EXPECT_EQ(kLayout.statusBoxY, 381);
  EXPECT_EQ(kLayout.tableRight, 624);
  EXPECT_EQ(kLayout.tableBottom, 359);
  EXPECT_EQ(kLayout.cellsLeft, 24);
  EXPECT_EQ(kLayout.pageRows(), 16);
}

TEST(TableList, MeasuresWidthsWhenTextsAreSetAndHoldsCells) {
  TableList list({}, sevenPixels);
  EXPECT_EQ(list.title(), "Table");
  list.addColumn("id");
  list.addColumn("a much longer title");
  EXPECT_EQ(list.measuredWidth(0), 14);
  list.addRow({"12345", ""});
  list.addRow({"1"});  // missing cells stay empty
  EXPECT_EQ(list.measuredWidth(0), 35);
  EXPECT_EQ(list.measuredWidth(1), 19 * 7);
  EXPECT_EQ(list.cell(0, 0), "12345");
  EXPECT_EQ(list.cell(1, 0), "1");
  EXPECT_EQ(list.cell(1, 1), "");
  EXPECT_EQ(list.firstNumber(), 1u);
}

TEST(TableList, KeepsEveryCellWhenTheTextFillsManyBlocks) {
  TableList list;
  list.addColumn("a");
  list.addColumn("b");
  for (int i = 0; i < 200; ++i)
    list.addRow({std::string(40000, static_cast<char>('a' + i % 26)), std::to_string(i)});
  list.addRow({std::string(70000, 'z')});  // cut to the 16-bit cell length
  for (int i : {0, 99, 104, 199}) {
    EXPECT_EQ(list.cell(i, 0), std::string(40000, static_cast<char>('a' + i % 26))) << i;
    EXPECT_EQ(list.cell(i, 1), std::to_string(i));
  }
  EXPECT_EQ(list.cell(200, 0).size(), 0xffffu);
  EXPECT_EQ(list.cell(200, 1), "");
}

TEST(TableList, EmptyResultShowsZeroCounters) {
  TableList list = rowsOf(0);
  EXPECT_EQ(list.firstNumber(), 0u);
  EXPECT_EQ(list.rowCount(), 0u);
  EXPECT_EQ(list.selectedCount(), 0u);
  EXPECT_FALSE(list.scrollRows(ScrollAction::PageForward, kLayout));
  EXPECT_FALSE(list.rowAt(kLayout, 30, 30));
}

TEST(TableListScrolling, RowsMoveByLinePageAndEnds) {
  TableList list = rowsOf(40);
  struct Step {
    ScrollAction action;
    long position;
    size_t top;  // 1-based number of the top row afterwards
    bool changed;
  };
  const std::vector<Step> steps = {
      {ScrollAction::LineBack, 0, 1, false},    {ScrollAction::LineForward, 0, 2, true},
      {ScrollAction::PageForward, 0, 18, true}, {ScrollAction::PageForward, 0, 34, true},
      {ScrollAction::PageForward, 0, 40, true}, {ScrollAction::PageForward, 0, 40, false},
      {ScrollAction::PageBack, 0, 24, true},    {ScrollAction::First, 0, 1, true},
      {ScrollAction::Last, 0, 40, true},        {ScrollAction::Position, 7, 7, true},
      {ScrollAction::Position, 99, 40, true},   {ScrollAction::PageBack, 0, 24, true},
      {ScrollAction::PageBack, 0, 8, true},     {ScrollAction::PageBack, 0, 1, true},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(list.scrollRows(steps[i].action, kLayout, steps[i].position), steps[i].changed)
        << "step " << i;
    EXPECT_EQ(list.firstNumber(), steps[i].top) << "step " << i;
  }
}

TEST(TableListScrolling, ColumnsPlaceFromTheFirstShownOneUntilTheRightEdge) {
  // Widths 7*88 = 616 + 5 drawn: wider than the table area (600).
  TableList list({}, sevenPixels);
  list.addColumn(std::string(88, 'w'));
  list.addColumn("b");
  list.addColumn("c");
  auto placed = list.placeColumns(kLayout);
  ASSERT_EQ(placed.size(), 1u);  // too wide, still drawn, and alone
  EXPECT_EQ(placed[0].x, 24);
  EXPECT_EQ(placed[0].width, 621);
  EXPECT_EQ(list.drawnRight(kLayout), 645);
  EXPECT_TRUE(list.scrollColumns(ScrollAction::LineForward, kLayout));
  placed = list.placeColumns(kLayout);
  ASSERT_EQ(placed.size(), 2u);
  EXPECT_EQ(placed[1].x, 24 + 12 + 2);
  // Past b and c, which were drawn: stops at the last column.
  EXPECT_TRUE(list.scrollColumns(ScrollAction::PageForward, kLayout));
  EXPECT_EQ(list.firstColumn(), 2u);
  EXPECT_TRUE(list.scrollColumns(ScrollAction::First, kLayout));
  EXPECT_TRUE(list.scrollColumns(ScrollAction::Position, kLayout, 3));
  EXPECT_EQ(list.firstColumn(), 2u);
  EXPECT_FALSE(list.scrollColumns(ScrollAction::LineForward, kLayout));
}

TEST(TableListScrolling, PageRightStartsAtTheFirstColumnThatDidNotFit) {
  std::vector<std::string> titles;
  for (int i = 0; i < 20; ++i) titles.push_back(std::string(10, 'a' + i));  // 70 + 5 each
  TableList list({}, sevenPixels);
  for (const std::string& title : titles) list.addColumn(title);
  // x = 24 + n * 77 stays left of 624 for n = 0..7: eight columns drawn.
  EXPECT_EQ(list.placeColumns(kLayout).size(), 8u);
  EXPECT_TRUE(list.scrollColumns(ScrollAction::PageForward, kLayout));
  EXPECT_EQ(list.firstColumn(), 8u);
  list.placeColumns(kLayout);
  EXPECT_TRUE(list.scrollColumns(ScrollAction::PageBack, kLayout));
  // 600 - 77 * 8 <= 0 after eight steps back.
  EXPECT_EQ(list.firstColumn(), 0u);
}

TEST(TableListSelection, ClicksToggleRowsInsideTheDrawnTableOnly) {
  TableList list = rowsOf(3);
  list.placeColumns(kLayout);
  const int xE = list.drawnRight(kLayout);  // 24 + (7 + 5) + 2 + (35 + 5)
  EXPECT_EQ(xE, 78);
  EXPECT_EQ(list.rowAt(kLayout, 5, 27), std::optional<size_t>(0));
  EXPECT_EQ(list.rowAt(kLayout, xE, 47), std::optional<size_t>(1));
  EXPECT_FALSE(list.rowAt(kLayout, xE + 1, 47));      // right of the last column
  EXPECT_FALSE(list.rowAt(kLayout, 5, 26));           // the heading
  EXPECT_FALSE(list.rowAt(kLayout, 5, 27 + 3 * 20));  // below the last row
  list.scrollRows(ScrollAction::LineForward, kLayout);
  EXPECT_EQ(list.rowAt(kLayout, 5, 27), std::optional<size_t>(1));

  list.toggleSelected(0);
  list.toggleSelected(2);
  EXPECT_EQ(list.selectedCount(), 2u);
  EXPECT_EQ(list.selectedRowsText(), "k\tname\n1\trow 1\n3\trow 3\n");
  list.toggleSelected(0);
  EXPECT_EQ(list.selectedCount(), 1u);
  list.selectAll();
  EXPECT_EQ(list.selectedCount(), 3u);
  list.deselectAll();
  EXPECT_EQ(list.selectedCount(), 0u);
  EXPECT_EQ(list.selectedRowsText(), "k\tname\n");
}

}  // namespace
}  // namespace kestrel
