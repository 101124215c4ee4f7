#include "shell/app/status_window.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "fakes.h"

namespace kestrel::test {
namespace {

// Makes the windows of status displays, as the main window does.
struct Owner final : StatusWindowFactory {
  std::unique_ptr<StatusWindow> create(StatusDisplay& display) override {
    auto made = std::make_unique<StatusDisplayWindow>(display, nullptr);
    window = made.get();
    return made;
  }
  StatusDisplayWindow* window = nullptr;
};

// The five lines of a copy run, shown.
struct ShownDisplay {
  explicit ShownDisplay(bool cancelActive) {
    for (const char* label : {"Copy definition name:", "From table:", "To table:",
                              "Current operation:", "Processing row number:"})
      lines.push_back(display.AddStatusLine(label));
    display.setCancelActive(cancelActive);
    display.setTitle("KESTREL Copy status");
    display.setParent(&owner);
    display.SetValue(lines[0], "NIGHTLY");
    display.Show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(owner.window));
  }
  StatusDisplay display;
  Owner owner;
  std::vector<StatusLine*> lines;
};

class StatusWindowGeometryTest : public ::testing::TestWithParam<bool> {};

TEST_P(StatusWindowGeometryTest, FollowsTheFontsTextHeightAndCharacterWidth) {
  ShownDisplay shown(GetParam());
  StatusDisplayWindow* window = shown.owner.window;
  const int h = window->textHeight(), w = window->charWidth();
  EXPECT_EQ(window->windowTitle(), "KESTREL Copy status");
  EXPECT_EQ(window->pos(), QPoint(10, 10));
  EXPECT_EQ(window->width(), 78 * w);
  // 7 lines without the button; 10 less half a line with it.
  const int expectedHeight = GetParam() ? 10 * h - h / 2 : 7 * h;
  EXPECT_EQ(window->height(), expectedHeight);
  auto* button = window->findChild<QPushButton*>("cancelButton");
  ASSERT_EQ(button != nullptr, GetParam());
  if (button) {
    EXPECT_EQ(button->text(), "Cancel Operation");
    // Under the last line: from 5h + h/2, two lines high, half the width.
    EXPECT_EQ(button->geometry(),
              QRect(QPoint(78 * w / 4, 5 * h + h / 2),
                    QPoint(78 * w - 78 * w / 4 - 1, 5 * h + h / 2 + 2 * h - 1)));
  }
}

INSTANTIATE_TEST_SUITE_P(CancelActive, StatusWindowGeometryTest, ::testing::Bool());

TEST(StatusWindow, RepaintsChangedLinesOnlyAndEverythingWhenExposed) {
  ShownDisplay shown(false);
  StatusDisplayWindow* window = shown.owner.window;
  StatusLine* row = shown.lines[4];
  int drawn = window->linesDrawn();
  shown.display.SetValue(row, 17);
  EXPECT_EQ(window->linesDrawn(), drawn + 1) << "one changed line, one line drawn";
  EXPECT_FALSE(row->changed);
  drawn = window->linesDrawn();
  shown.display.SetValue(row, "17");
  EXPECT_EQ(window->linesDrawn(), drawn) << "the same value repaints nothing";
  // An expose (the window was covered) draws every line, changed or not.
  window->repaint();
  EXPECT_EQ(window->linesDrawn(), drawn + 5);
}

TEST(StatusWindow, CancelAsksAndOnlyYesRequestsTheCancel) {
  RecordingMessageBox boxes;
  ShownDisplay shown(true);
  auto* button = shown.owner.window->findChild<QPushButton*>("cancelButton");
  ASSERT_NE(button, nullptr);
  boxes.answers = {BoxAnswer::No, BoxAnswer::Yes};
  QTest::keyClick(button, Qt::Key_Space);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Do you really want to cancel the copy operation ?");
  EXPECT_EQ(boxes.boxes[0].caption, "CANCEL");
  EXPECT_FALSE(shown.display.CancelRequested());
  QTest::keyClick(button, Qt::Key_Return);
  EXPECT_TRUE(shown.display.CancelRequested());
  // A new Show starts without a cancel.
  shown.display.Show();
  EXPECT_FALSE(shown.display.CancelRequested());
}

TEST(StatusWindow, ClosedByThePlatformIsForgottenAndMadeAgainByShow) {
  ShownDisplay shown(false);
  StatusDisplayWindow* first = shown.owner.window;
  first->close();
  EXPECT_FALSE(shown.display.hasWindow());
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  shown.display.Show();
  ASSERT_TRUE(shown.display.hasWindow());
  EXPECT_TRUE(QTest::qWaitForWindowExposed(shown.owner.window));
  // The values survive the window.
  EXPECT_EQ(shown.lines[0]->value, "NIGHTLY");
}

}  // namespace
}  // namespace kestrel::test
