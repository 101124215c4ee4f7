#include "shell/app/status_window.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>

#include "base/platform.h"

namespace kestrel {

StatusDisplayWindow::StatusDisplayWindow(StatusDisplay& display, QWidget* owner)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      display_(display) {
  setObjectName("statusWindow");
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, QColor(192, 192, 192));
  colours.setColor(QPalette::WindowText, Qt::black);
  setPalette(colours);

  const QFontMetrics metrics(font());
  h_ = metrics.height();
  w_ = metrics.averageCharWidth();
  const StatusGeometry g = display.geometry(h_, w_);
  if (g.hasButton) {
    cancel_ = new QPushButton("Cancel Operation", this);
    cancel_->setObjectName("cancelButton");
    cancel_->setGeometry(
        QRect(QPoint(g.buttonLeft, g.buttonTop), QPoint(g.buttonRight - 1, g.buttonBottom - 1)));
    // Enter and Space press it, as in a dialog.
    cancel_->setAutoDefault(true);
    cancel_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, [this] { askCancel(); });
  }
  setWindowTitle(QString::fromStdString(display.title()));
  move(g.x, g.y);
  setFixedSize(g.width, g.height);
  show();
  activateWindow();
  if (cancel_) cancel_->setFocus();
}

StatusDisplayWindow::~StatusDisplayWindow() {
  if (isActiveWindow() && parentWidget() && parentWidget()->isVisible()) {
    parentWidget()->activateWindow();
  }
}

// The band a line owns. Its value's white field reaches one pixel further,
// into the next line's band, which is drawn after it.
QRect StatusDisplayWindow::lineRect(const StatusLine& line) const {
  return QRect(0, line.index * h_, 78 * w_, h_);
}

void StatusDisplayWindow::repaintChanged() {
  QRegion changed;
  for (const StatusLine& line : display_.lines()) {
    if (line.changed) changed += lineRect(line);
  }
  if (!changed.isEmpty()) repaint(changed);
}

void StatusDisplayWindow::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.setBackgroundMode(Qt::TransparentMode);
  const QFontMetrics metrics(font());
  // Qt hands us the region to draw: the changed lines after a value change,
  // everything that was covered after an expose. A line in that region is
  // drawn whether or not it is marked, since the platform has erased it.
  for (StatusLine& line : display_.lines()) {
    const QRect rect = lineRect(line);
    if (!event->region().intersects(rect)) continue;
    const int y = line.index * h_;
    painter.drawText(w_, y + metrics.ascent(), QString::fromStdString(line.label));
    painter.fillRect(QRect(QPoint(28 * w_, y), QPoint(78 * w_ - 1, y + h_)), Qt::white);
    painter.drawText(28 * w_, y + metrics.ascent(), QString::fromStdString(line.value + " "));
    line.changed = false;
    ++linesDrawn_;
  }
}

void StatusDisplayWindow::askCancel() {
  if (programMessageBox().ask("Do you really want to cancel the copy operation ?", "CANCEL",
                              BoxIcon::Question, BoxButtons::YesNo) == BoxAnswer::Yes) {
    display_.RequestCancel();
  }
}

void StatusDisplayWindow::closeEvent(QCloseEvent* event) {
  // Closed by the platform (the window manager): the display forgets the
  // window and the run goes on; a later Show makes a new one.
  event->accept();
  display_.WindowDestroyed();
  deleteLater();
}

}  // namespace kestrel
