#include "widgets/log_view.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace kestrel {

LogViewWidget::LogViewWidget(MessageLog& log, QWidget* parent)
    : QAbstractScrollArea(parent), log_(&log) {
  setObjectName("logView");
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAutoFillBackground(true);
  QPalette palette = viewport()->palette();
  palette.setColor(QPalette::Window, Qt::white);
  viewport()->setPalette(palette);
  log_->AttachView(this);
  // Lines added before the view existed were held without an extent; the
  // view measures them now so they are drawn.
  updateBars();
}

LogViewWidget::~LogViewWidget() { detach(); }

void LogViewWidget::detach() {
  if (log_) log_->AttachView(nullptr);
  log_ = nullptr;
}

Extent LogViewWidget::characterExtent() {
  QFontMetrics metrics(font());
  return {metrics.averageCharWidth(), metrics.height()};
}

Extent LogViewWidget::textExtent(const std::string& text) {
  QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
}

void LogViewWidget::setScrollSizes(Extent total, Extent lineStep) {
  total_ = total;
  step_ = lineStep;
  updateBars();
}

void LogViewWidget::updateBars() {
  const QSize client = viewport()->size();
  verticalScrollBar()->setSingleStep(std::max(1, step_.height));
  verticalScrollBar()->setPageStep(std::max(1, client.height()));
  verticalScrollBar()->setRange(0, std::max(0, total_.height - client.height()));
  horizontalScrollBar()->setSingleStep(std::max(1, step_.width));
  horizontalScrollBar()->setPageStep(std::max(1, client.width()));
  horizontalScrollBar()->setRange(0, std::max(0, total_.width - client.width()));
}

ScrollPosition LogViewWidget::scrollPosition() {
  return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void LogViewWidget::scrollTo(ScrollPosition position) {
  horizontalScrollBar()->setValue(position.x);
  verticalScrollBar()->setValue(position.y);
  viewport()->update();
}

int LogViewWidget::clientHeight() { return viewport()->height(); }

void LogViewWidget::repaintNow() { viewport()->repaint(); }

void LogViewWidget::drawText(int x, int y, const std::string& text, Rgb colour) {
  if (!painter_) return;
  const ScrollPosition at = scrollPosition();
  const int top = y - at.y;
  QFontMetrics metrics(font());
  // Only the lines that reach into the window are drawn.
  if (top + metrics.height() < 0 || top > viewport()->height()) return;
  painter_->setPen(QColor(colour.red, colour.green, colour.blue));
  painter_->drawText(x - at.x, top + metrics.ascent(), QString::fromStdString(text));
}

void LogViewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.setFont(font());
  painter_ = &painter;
  if (log_) log_->Draw();
  painter_ = nullptr;
}

void LogViewWidget::keyPressEvent(QKeyEvent* event) {
  LogKey key = LogKey::Other;
  switch (event->key()) {
    case Qt::Key_PageUp:
      key = LogKey::PageUp;
      break;
    case Qt::Key_PageDown:
      key = LogKey::PageDown;
      break;
    case Qt::Key_End:
      key = LogKey::End;
      break;
    case Qt::Key_Home:
      key = LogKey::Home;
      break;
    case Qt::Key_Left:
      key = LogKey::Left;
      break;
    case Qt::Key_Up:
      key = LogKey::Up;
      break;
    case Qt::Key_Right:
      key = LogKey::Right;
      break;
    case Qt::Key_Down:
      key = LogKey::Down;
      break;
    default:
      break;
  }
  if (event->modifiers() == Qt::NoModifier && log_ && log_->HandleKey(key)) {
    event->accept();
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

void LogViewWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateBars();
}

void LogViewWidget::scrollContentsBy(int, int) { viewport()->update(); }

}  // namespace kestrel
