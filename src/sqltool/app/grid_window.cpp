#include "sqltool/app/grid_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QPolygon>
#include <QScrollBar>
#include <algorithm>
#include <memory>

namespace kestrel {

namespace {

const QColor kLightGrey(192, 192, 192);
const QColor kDarkGrey(128, 128, 128);
const QColor kSelection(255, 255, 0);

void sunkenFrame(QPainter& painter, int left, int top, int right, int bottom) {
  painter.setPen(kDarkGrey);
  painter.drawLine(left, top, right, top);
  painter.drawLine(left, top, left, bottom);
  painter.setPen(Qt::white);
  painter.drawLine(right, top, right, bottom);
  painter.drawLine(left, bottom, right, bottom);
}

void raisedFrame(QPainter& painter, int left, int top, int right, int bottom) {
  painter.setPen(Qt::white);
  painter.drawLine(left, top, right, top);
  painter.drawLine(left, top, left, bottom);
  painter.setPen(kDarkGrey);
  painter.drawLine(right, top, right, bottom);
  painter.drawLine(left, bottom, right, bottom);
}

void groove(QPainter& painter, int y, int width) {
  painter.setPen(kDarkGrey);
  painter.drawLine(0, y + 1, width, y + 1);
  painter.setPen(Qt::white);
  painter.drawLine(0, y + 4, width, y + 4);
}

}  // namespace

TextWidth TableListWindow::fontMeasure(const QFont& font) {
  auto metrics = std::make_shared<QFontMetrics>(font);
  auto advances = std::make_shared<std::array<int, 128>>();
  for (int ch = 0; ch < 128; ++ch)
    (*advances)[ch] = ch >= 32 ? metrics->horizontalAdvance(QChar(ch)) : 0;
  return [metrics, advances](std::string_view text) {
    int width = 0;
    for (unsigned char ch : text) {
      if (ch >= 128) return metrics->horizontalAdvance(QString::fromUtf8(text.data(), text.size()));
      width += (*advances)[ch];
    }
    return width;
  };
}

TableListWindow::TableListWindow(TableList& list, QWidget* owner, QWidget* parent)
    : QMainWindow(parent, Qt::Window), list_(&list), owner_(owner) {
  setObjectName("gridWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromStdString(list.title()));
  list.deselectAll();
  view_ = new GridView(list, this);
  view_->setObjectName("gridView");
  setCentralWidget(view_);

  QMenu* file = menuBar()->addMenu("&File");
  QAction* selectAll = file->addAction("&Select all");
  selectAll->setObjectName("selectAllAction");
  QAction* deselectAll = file->addAction("D&eselect all");
  deselectAll->setObjectName("deselectAllAction");
  QAction* copy = file->addAction("&Copy selected rows");
  copy->setObjectName("copySelectedAction");
  copy->setShortcut(QKeySequence::Copy);
  QAction* stop = file->addAction("S&top reading rows");
  stop->setObjectName("stopReadingAction");
  stop->setShortcut(Qt::Key_Escape);
  file->addSeparator();
  QAction* close = file->addAction("&Close");
  close->setObjectName("closeAction");

  connect(selectAll, &QAction::triggered, this, [this] {
    if (!list_) return;
    list_->selectAll();
    refresh();
  });
  connect(deselectAll, &QAction::triggered, this, [this] {
    if (!list_) return;
    list_->deselectAll();
    refresh();
  });
  connect(copy, &QAction::triggered, this, [this] {
    if (list_)
      QApplication::clipboard()->setText(QString::fromStdString(list_->selectedRowsText()));
  });
  connect(stop, &QAction::triggered, this, &TableListWindow::stopRequested);
  connect(close, &QAction::triggered, this, &QWidget::close);
  resize(640, 400);
}

TableListWindow::~TableListWindow() = default;

void TableListWindow::refresh() {
  view_->placeBars();
  view_->update();
}

void TableListWindow::detach() {
  list_ = nullptr;
  view_->detach();
  close();
}

void TableListWindow::closeEvent(QCloseEvent* event) {
  if (owner_) owner_->setFocus();
  event->accept();
}

GridView::GridView(TableList& list, QWidget* parent)
    : QWidget(parent),
      list_(&list),
      vertical_(new QScrollBar(Qt::Vertical, this)),
      horizontal_(new QScrollBar(Qt::Horizontal, this)) {
  vertical_->setObjectName("verticalScrollBar");
  horizontal_->setObjectName("horizontalScrollBar");
  vertical_->setGeometry(0, 0, 40, 40);
  horizontal_->setGeometry(0, 0, 40, 40);
  // Only released thumbs move the table; tracking is ignored.
  vertical_->setTracking(false);
  horizontal_->setTracking(false);
  setFocusPolicy(Qt::StrongFocus);
  textHeight_ = QFontMetrics(font()).height();
  connect(vertical_, &QScrollBar::actionTriggered, this, [this](int a) { onBar(true, a); });
  connect(horizontal_, &QScrollBar::actionTriggered, this, [this](int a) { onBar(false, a); });
  connect(vertical_, &QScrollBar::sliderReleased, this, [this] {
    if (list_ &&
        list_->scrollRows(ScrollAction::Position, gridLayout(), vertical_->sliderPosition()))
      update();
    placeBars();
  });
  connect(horizontal_, &QScrollBar::sliderReleased, this, [this] {
    if (list_ &&
        list_->scrollColumns(ScrollAction::Position, gridLayout(), horizontal_->sliderPosition()))
      update();
    placeBars();
  });
}

GridLayout GridView::gridLayout() const {
  return GridLayout::compute(width(), height(), textHeight_);
}

void GridView::placeBars() {
  GridLayout layout = gridLayout();
  vertical_->setGeometry(layout.tableRight, layout.firstRowY, layout.scrollBar,
                         std::max(layout.tableBottom - layout.firstRowY, 0));
  horizontal_->setGeometry(0, layout.tableBottom, width() - layout.scrollBar - 1, layout.scrollBar);
  const QSignalBlocker blockVertical(vertical_);
  const QSignalBlocker blockHorizontal(horizontal_);
  size_t rows = list_ ? list_->rowCount() : 0;
  size_t columns = list_ ? list_->columnCount() : 0;
  vertical_->setRange(1, static_cast<int>(std::max<size_t>(std::min<size_t>(rows, INT32_MAX), 1)));
  vertical_->setPageStep(std::max(layout.pageRows(), 1));
  vertical_->setValue(list_ ? static_cast<int>(list_->firstNumber()) : 1);
  horizontal_->setRange(1, static_cast<int>(std::max<size_t>(columns, 1)));
  horizontal_->setValue(list_ ? static_cast<int>(list_->firstColumn() + 1) : 1);
}

void GridView::onBar(bool vertical, int action) {
  if (!list_) return;
  ScrollAction scroll;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      scroll = ScrollAction::LineBack;
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      scroll = ScrollAction::LineForward;
      break;
    case QAbstractSlider::SliderPageStepSub:
      scroll = ScrollAction::PageBack;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      scroll = ScrollAction::PageForward;
      break;
    case QAbstractSlider::SliderToMinimum:
      scroll = ScrollAction::First;
      break;
    case QAbstractSlider::SliderToMaximum:
      scroll = ScrollAction::Last;
      break;
    default:
      return;
  }
  bool changed = vertical ? list_->scrollRows(scroll, gridLayout())
                          : list_->scrollColumns(scroll, gridLayout());
  if (changed) update();
  // The bar moved itself; it follows the table's position once the action
  // is done.
  QMetaObject::invokeMethod(this, &GridView::placeBars, Qt::QueuedConnection);
}

void GridView::resizeEvent(QResizeEvent*) { placeBars(); }

void GridView::drawCell(QPainter& painter, int x, int y, int w, const QString& text,
                        const QColor& background, const QColor& foreground, bool framed) const {
  const int h = textHeight_;
  const int r = h + 4;
  painter.fillRect(QRect(QPoint(x, y + 1), QPoint(x + w - 1, y + h + 1)), background);
  if (!text.isEmpty()) {
    painter.save();
    painter.setClipRect(QRect(x, y, w, r));
    painter.setPen(foreground);
    painter.drawText(QRect(x + 2, y, w + 1000, r),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter.restore();
  }
  if (framed) sunkenFrame(painter, x, y, x + w - 1, y + h + 1);
}

void GridView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kLightGrey);
  const GridLayout layout = gridLayout();
  const int r = layout.rowHeight;
  const int h = textHeight_;
  groove(painter, r, width());
  groove(painter, layout.statusGrooveY, width());
  if (!list_) return;
  TableList& list = *list_;

  // Status line: counters from the right, the status text in what is left.
  QFontMetrics metrics(font());
  const char* samples[] = {"Selected: 9999", "First: 9999", "Total: 9999"};
  const size_t counts[] = {list.selectedCount(), list.firstNumber(), list.rowCount()};
  const char* labels[] = {"Selected: %1", "First: %1", "Total: %1"};
  int right = width() - 2;
  for (int i = 0; i < 3; ++i) {
    int w = metrics.horizontalAdvance(samples[i]) + 3;
    int x = right - w;
    drawCell(painter, x, layout.statusBoxY, w, QString(labels[i]).arg(counts[i]), kLightGrey,
             kDarkGrey, true);
    right = x - 2;
  }
  drawCell(painter, 2, layout.statusBoxY, std::max(right + 2 - 4, 1),
           QString::fromStdString(list.statusText), kLightGrey, Qt::black, true);

  // Headings and rows: only the columns that start left of the table's
  // right edge and the rows above its bottom.
  const auto& placed = list.placeColumns(layout);
  for (const auto& column : placed)
    drawCell(painter, column.x, 1, column.width,
             QString::fromStdString(list.columnTitle(column.column)), kDarkGrey, Qt::white, false);
  const int xE = list.drawnRight(layout);
  for (size_t row = list.topRow(), y = layout.firstRowY;
       row < list.rowCount() && static_cast<int>(y) <= layout.tableBottom; ++row, y += r) {
    const int top = static_cast<int>(y);
    const int m = layout.markerWidth;
    const int x0 = 2;
    if (list.isSelected(row)) {
      raisedFrame(painter, x0, top, x0 + m - 1, top + h + 1);
      const int e = x0 + m / 5, gx = x0 + m / 2, tip = x0 + m - m / 5 - 1;
      const int l = h / 6, q = h / 3, half = h / 2;
      QPolygon arrow;
      arrow << QPoint(e, top + l + q) << QPoint(gx, top + l + q) << QPoint(gx, top + l)
            << QPoint(tip, top + half) << QPoint(gx, top + l + half + q)
            << QPoint(gx, top + half + q - l) << QPoint(e, top + half + q - l);
      painter.setPen(kSelection);
      painter.setBrush(kSelection);
      painter.drawPolygon(arrow);
      painter.setBrush(Qt::NoBrush);
    } else {
      sunkenFrame(painter, x0, top, x0 + m - 1, top + h + 1);
    }
    for (const auto& column : placed) {
      std::string_view text = list.cell(row, column.column);
      drawCell(painter, column.x, top, column.width,
               QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), kLightGrey,
               Qt::black, false);
    }
    painter.setPen(kDarkGrey);
    painter.drawLine(layout.cellsLeft, top + r - 1, std::min(layout.tableRight, xE), top + r - 1);
  }
}

void GridView::keyPressEvent(QKeyEvent* event) {
  if (!list_) return QWidget::keyPressEvent(event);
  const GridLayout layout = gridLayout();
  bool changed = false;
  switch (event->key()) {
    case Qt::Key_Up:
      changed = list_->scrollRows(ScrollAction::LineBack, layout);
      break;
    case Qt::Key_Down:
      changed = list_->scrollRows(ScrollAction::LineForward, layout);
      break;
    case Qt::Key_PageUp:
      changed = list_->scrollRows(ScrollAction::PageBack, layout);
      break;
    case Qt::Key_PageDown:
      changed = list_->scrollRows(ScrollAction::PageForward, layout);
      break;
    case Qt::Key_Home:
      changed = list_->scrollRows(ScrollAction::First, layout);
      break;
    case Qt::Key_End:
      changed = list_->scrollRows(ScrollAction::Last, layout);
      break;
    case Qt::Key_Left:
      changed = list_->scrollColumns(ScrollAction::LineBack, layout);
      break;
    case Qt::Key_Right:
      changed = list_->scrollColumns(ScrollAction::LineForward, layout);
      break;
    default:
      return QWidget::keyPressEvent(event);
  }
  if (changed) {
    placeBars();
    update();
  }
}

void GridView::toggleAt(QPoint position) {
  if (!list_) return;
  const GridLayout layout = gridLayout();
  std::optional<size_t> row = list_->rowAt(layout, position.x(), position.y());
  if (!row) return;
  list_->toggleSelected(*row);
  const int y = layout.firstRowY + static_cast<int>(*row - list_->topRow()) * layout.rowHeight;
  update(QRect(0, y - 1, layout.cellsLeft, layout.rowHeight + 1));
  update(QRect(0, layout.statusGrooveY, width(), height() - layout.statusGrooveY));
}

void GridView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) toggleAt(event->position().toPoint());
  setFocus();
}

void GridView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) toggleAt(event->position().toPoint());
}

}  // namespace kestrel
