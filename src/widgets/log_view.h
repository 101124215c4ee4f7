#pragma once
// The window that shows a MessageLog: a scrolling area that draws the log's
// lines in their colours with the window's font, scrolls to the newest line
// as lines arrive and by the log's keys (Page Up/Down, Home, End, arrows).
// kestrel's main window and each of wagtail's connection documents use one.

#include <QAbstractScrollArea>

#include "base/message_log.h"

namespace kestrel {

class LogViewWidget final : public QAbstractScrollArea, public LogView {
 public:
  // Attaches itself to the log; detaches again when destroyed. The log must
  // outlive the widget or be detached first (detach()).
  explicit LogViewWidget(MessageLog& log, QWidget* parent = nullptr);
  ~LogViewWidget() override;
  void detach();

  // LogView
  Extent characterExtent() override;
  Extent textExtent(const std::string& text) override;
  void setScrollSizes(Extent total, Extent lineStep) override;
  ScrollPosition scrollPosition() override;
  void scrollTo(ScrollPosition position) override;
  int clientHeight() override;
  void repaintNow() override;
  void drawText(int x, int y, const std::string& text, Rgb colour) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void updateBars();

  MessageLog* log_;
  Extent total_{1, 1};
  Extent step_{1, 1};
  class QPainter* painter_ = nullptr;  // set while paintEvent draws
};

}  // namespace kestrel
