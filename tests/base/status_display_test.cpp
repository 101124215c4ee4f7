#include "base/status_display.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "shell/console.h"

namespace kestrel {
namespace {

struct CountingWindow : StatusWindow {
  explicit CountingWindow(int* repaints, int* alive) : repaints(repaints), alive(alive) {
    ++*alive;
  }
  ~CountingWindow() override { --*alive; }
  void repaintChanged() override { ++*repaints; }
  int* repaints;
  int* alive;
};

struct CountingFactory : StatusWindowFactory {
  std::unique_ptr<StatusWindow> create(StatusDisplay&) override {
    ++created;
    return std::make_unique<CountingWindow>(&repaints, &alive);
  }
  int created = 0, repaints = 0, alive = 0;
};

StatusDisplay& fiveLines(StatusDisplay& display) {
  for (const char* label : {"Copy definition name:", "From table:", "To table:",
                            "Current operation:", "Processing row number:"})
    display.AddStatusLine(label);
  return display;
}

TEST(StatusDisplay, RepaintsOnlyWhenAValueChanges) {
  CountingFactory factory;
  StatusDisplay display;
  display.setParent(&factory);
  StatusLine* row = &fiveLines(display).lines().back();
  EXPECT_EQ(row->index, 4);
  display.SetValue(row, 1);  // no window yet: stored only
  EXPECT_EQ(factory.created, 0);
  display.Show();
  EXPECT_EQ(factory.created, 1);
  row->changed = false;
  display.SetValue(row, 2);
  display.SetValue(row, "2");
  EXPECT_EQ(factory.repaints, 1);
  EXPECT_TRUE(row->changed);
  display.Show();  // a second Show repaints the existing window
  EXPECT_EQ(factory.created, 1);
  display.Close();
  EXPECT_EQ(factory.alive, 0);
  display.Show();
  EXPECT_EQ(factory.created, 2) << "a Show after Close makes a new window";
}

TEST(StatusDisplay, CancelNeedsCancelActiveAndIsClearedByShow) {
  StatusDisplay display;
  display.RequestCancel();
  EXPECT_FALSE(display.CancelRequested());
  display.setCancelActive(true);
  EXPECT_TRUE(display.CancelRequested());
  display.Show();
  EXPECT_FALSE(display.CancelRequested());
  EXPECT_FALSE(display.hasWindow()) << "headless: no parent, no window";
}

TEST(StatusDisplay, WindowIsSevenOrTenLinesHigh) {
  StatusDisplay display;
  fiveLines(display);
  StatusGeometry plain = display.geometry(16, 7);
  EXPECT_FALSE(plain.hasButton);
  EXPECT_EQ(plain.height, 7 * 16);
  EXPECT_EQ(plain.width, 78 * 7);
  display.setCancelActive(true);
  StatusGeometry withButton = display.geometry(16, 7);
  EXPECT_TRUE(withButton.hasButton);
  EXPECT_EQ(withButton.height, 10 * 16 - 8);
  EXPECT_EQ(withButton.buttonTop, 5 * 16 + 8);
  EXPECT_EQ(withButton.buttonBottom, withButton.buttonTop + 32);
  EXPECT_EQ(withButton.buttonLeft, 546 / 4);
  EXPECT_EQ(withButton.buttonRight, 546 - 546 / 4);
  EXPECT_EQ(StatusDisplay().geometry(16, 7).height, 3 * 16);
}

// The headless form: one line, rewritten in place, cleared when the run ends.
TEST(ConsoleStatusWindow, ShowsTheDefinitionOperationAndRow) {
  StatusDisplay display;
  fiveLines(display);
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  std::list<StatusLine>& lines = display.lines();
  auto line = [&](int index) { return &*std::next(lines.begin(), index); };
  display.SetValue(line(0), "CUSTOMERS");
  display.SetValue(line(3), "Copying rows to temporary file");
  display.SetValue(line(4), " ");
  {
    ConsoleStatusWindow window(display, out, std::chrono::milliseconds(0));
    line(4)->value = "250";
    window.repaintChanged();
  }
  std::rewind(out);
  char buffer[512] = {0};
  std::size_t got = std::fread(buffer, 1, sizeof buffer - 1, out);
  std::fclose(out);
  EXPECT_EQ(std::string(buffer, got),
            "\r\033[KCUSTOMERS: Copying rows to temporary file"
            "\r\033[KCUSTOMERS: Copying rows to temporary file 250"
            "\r\033[K");
}

}  // namespace
}  // namespace kestrel
