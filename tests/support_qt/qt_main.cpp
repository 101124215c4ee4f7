// The main of every window test program: a QApplication on the offscreen
// platform (set by CTest's environment; forced here when unset), then
// GoogleTest. Tests drive the real event loop with QTest and QTRY_*.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
