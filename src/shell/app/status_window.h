#pragma once
// The window of a running copy's StatusDisplay: the labelled lines with their
// values and, when the option CancelActive is set, the "Cancel Operation"
// button. Its geometry follows the window font's text height and average
// character width (StatusDisplay::geometry). A value change repaints only
// the lines marked changed; an exposed window (uncovered, shown again) draws
// every line it has to.

#include <QWidget>

#include "base/status_display.h"

class QPushButton;

namespace kestrel {

class StatusDisplayWindow final : public QWidget, public StatusWindow {
 public:
  // The display must outlive the window (it owns it, from Show to Close).
  StatusDisplayWindow(StatusDisplay& display, QWidget* owner);
  // Gives the keyboard back to the owner when the window had it.
  ~StatusDisplayWindow() override;

  void repaintChanged() override;

  // Lines drawn since the window was made: one per line per paint.
  int linesDrawn() const { return linesDrawn_; }
  int textHeight() const { return h_; }
  int charWidth() const { return w_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QRect lineRect(const StatusLine& line) const;
  void askCancel();

  StatusDisplay& display_;
  int h_ = 1, w_ = 1;
  QPushButton* cancel_ = nullptr;
  int linesDrawn_ = 0;
};

}  // namespace kestrel
