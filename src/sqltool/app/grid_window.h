#pragma once
// The window that draws a TableList: column headings, one text row per
// result row, the marker column that shows and toggles the selection, two
// scroll bars and the status line with its counters. Only the rows and
// columns in view are drawn, so painting costs the same for any row count.

#include <QMainWindow>
#include <QPointer>
#include <array>

#include "sqltool/table_list.h"

class QScrollBar;
class QAction;

namespace kestrel {

class GridView;

class TableListWindow final : public QMainWindow {
  Q_OBJECT
 public:
  // The window shows `list`, which must outlive it or be detached first
  // (detach()). When it closes, `owner` gets the keyboard focus back.
  TableListWindow(TableList& list, QWidget* owner, QWidget* parent);
  ~TableListWindow() override;

  // The list changed (rows arrived, status text): repaint.
  void refresh();
  // Forgets the list; the window then shows nothing and closes.
  void detach();
  GridView* view() const { return view_; }
  // A measuring function for TableList with this window's font: per-byte
  // advances for ASCII text, the font's own measure otherwise.
  static TextWidth fontMeasure(const QFont& font);

 signals:
  // "Stop reading rows" was chosen.
  void stopRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  TableList* list_;
  QPointer<QWidget> owner_;
  GridView* view_;
};

class GridView final : public QWidget {
  Q_OBJECT
 public:
  explicit GridView(TableList& list, QWidget* parent);
  void detach() { list_ = nullptr; }
  GridLayout gridLayout() const;
  TableList* list() const { return list_; }
  void placeBars();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void onBar(bool vertical, int action);
  void toggleAt(QPoint position);
  void drawCell(class QPainter& painter, int x, int y, int w, const QString& text,
                const QColor& background, const QColor& foreground, bool framed) const;

  TableList* list_;
  QScrollBar* vertical_;
  QScrollBar* horizontal_;
  int textHeight_;
};

}  // namespace kestrel
