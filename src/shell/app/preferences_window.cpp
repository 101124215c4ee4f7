#include "shell/app/preferences_window.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <map>
#include <type_traits>
#include <vector>

#include "base/parameter_file.h"
#include "shell/app/option_help.h"

namespace kestrel {

namespace {

QString qt(const std::string& text) { return QString::fromStdString(text); }

class PreferencesWindow;

// A check box with its text on the left and the box at its right end.
class LeftTextCheckBox final : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    QRect box = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    box.moveTopRight(QPoint(width() - 1, (height() - box.height()) / 2));
    QStyleOptionButton indicator = option;
    indicator.rect = box;
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);
    const QRect text(0, 0, box.left() - 2, height());
    painter.drawItemText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(),
                         isEnabled(), option.text, QPalette::WindowText);
    if (hasFocus()) {
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      focus.rect =
          painter.fontMetrics().boundingRect(text, Qt::AlignLeft | Qt::AlignVCenter, option.text);
      painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
  }
  bool hitButton(const QPoint& position) const override { return rect().contains(position); }
};

// The documentation of the section shown in the preferences window, built
// from the option table on every paint. The vertical scroll bar's value is
// the top line; its range is 0 to the number of lines.
class OptionHelpWindow final : public QAbstractScrollArea {
 public:
  OptionHelpWindow(PreferencesWindow* owner, const OptionSection* section);
  // Documents another section from its first line.
  void showSection(const OptionSection* section);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int, int) override { viewport()->update(); }

 private:
  std::vector<HelpLine> lines() const;
  int page() const { return viewport()->height() / fontMetrics().height(); }
  // Sets the scroll range from the current line count; keeps the top line
  // inside it.
  void updateRange(int lineCount);

  const OptionSection* section_;
};

// The option editor of one section at a time. Its geometry follows from the
// text height of its font; every change is stored through the ParameterFile
// as it is made.
class PreferencesWindow final : public QWidget {
 public:
  PreferencesWindow(QWidget* parent, ParameterFile& options);
  ~PreferencesWindow() override;
  void layOut(const OptionSection& section);
  void showHelp();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // One control made for the shown section, linked to its option (none for
  // the buttons). Ids count up from 1024 for every layout.
  struct Control {
    int id;
    Option* option;
    QWidget* widget;
  };
  template <typename W>
  W* add(W* widget, Option* option, const QString& name, int x, int y, int width, int height);
  void edited(Option* option, const QString& text);
  void clicked(Option* option, bool checked);
  void browse(Option* option, QLineEdit* edit);

  ParameterFile& options_;
  QPointer<QWidget> parent_;
  const OptionSection* section_ = nullptr;
  std::vector<Control> controls_;
  int nextId_ = 1024;
  int right_ = 0, bottom_ = 0;  // extent of the controls made
  QPointer<OptionHelpWindow> help_;
};

// The open preferences window of each option store.
std::map<const ParameterFile*, PreferencesWindow*>& openWindows() {
  static std::map<const ParameterFile*, PreferencesWindow*> windows;
  return windows;
}

void bringToTop(QWidget* window) {
  if (window->isMinimized()) window->showNormal();
  window->show();
  window->raise();
  window->activateWindow();
}

// The numeric reading of a text as the option store's GetInt makes it.
std::string normalisedNumber(const std::string& text) {
  Option reading;
  reading.value = text;
  return std::to_string(ParameterFile::GetInt(&reading));
}

OptionHelpWindow::OptionHelpWindow(PreferencesWindow* owner, const OptionSection* section)
    : QAbstractScrollArea(owner), section_(section) {
  setWindowFlags(Qt::Window);
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName("optionHelpWindow");
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setAutoFillBackground(true);
  QPalette palette = viewport()->palette();
  palette.setColor(QPalette::Window, Qt::white);
  viewport()->setPalette(palette);
  QFontMetrics metrics = fontMetrics();
  resize(metrics.averageCharWidth() * 72, metrics.height() * 30);
  showSection(section);
}

void OptionHelpWindow::showSection(const OptionSection* section) {
  section_ = section;
  setWindowTitle("Description of options in section " + qt(section->name));
  updateRange(static_cast<int>(lines().size()));
  verticalScrollBar()->setValue(0);
  viewport()->update();
}

std::vector<HelpLine> OptionHelpWindow::lines() const {
  QFontMetrics metrics = fontMetrics();
  return sectionHelpLines(*section_, viewport()->width(), [&](const std::string& text) {
    return metrics.horizontalAdvance(qt(text));
  });
}

void OptionHelpWindow::updateRange(int lineCount) {
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, lineCount);
  bar->setSingleStep(1);
  bar->setPageStep(std::max(1, page()));
}

void OptionHelpWindow::paintEvent(QPaintEvent*) {
  std::vector<HelpLine> all = lines();
  const int count = static_cast<int>(all.size());
  if (verticalScrollBar()->maximum() != count) updateRange(count);
  QPainter painter(viewport());
  const int height = fontMetrics().height();
  const int top = verticalScrollBar()->value();
  const int last = std::min(count, top + page());
  for (int n = top; n < last; ++n) {
    const HelpLine& line = all[n];
    if (line.text.empty()) continue;
    painter.setPen(QColor(line.colour.red, line.colour.green, line.colour.blue));
    painter.drawText(QRect(line.indent, (n - top) * height, viewport()->width(), height),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, qt(line.text));
  }
}

void OptionHelpWindow::keyPressEvent(QKeyEvent* event) {
  QScrollBar* bar = verticalScrollBar();
  const int count = bar->maximum();
  const int top = bar->value();
  switch (event->key()) {
    case Qt::Key_Up:
      bar->setValue(top - 1);
      break;
    case Qt::Key_Down:
      bar->setValue(top + 1);
      break;
    case Qt::Key_PageUp:
      bar->setValue(top - page());
      break;
    case Qt::Key_PageDown:
      bar->setValue(top + page());
      break;
    case Qt::Key_Home:
      bar->setValue(0);
      break;
    case Qt::Key_End:
      bar->setValue(std::max(0, count - page()));
      break;
    case Qt::Key_Escape:
      close();
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

void OptionHelpWindow::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateRange(static_cast<int>(lines().size()));
  verticalScrollBar()->setValue(0);
  viewport()->update();
}

PreferencesWindow::PreferencesWindow(QWidget* parent, ParameterFile& options)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      options_(options),
      parent_(parent) {
  setObjectName("preferencesWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  openWindows()[&options_] = this;
}

PreferencesWindow::~PreferencesWindow() {
  auto& windows = openWindows();
  auto it = windows.find(&options_);
  if (it != windows.end() && it->second == this) windows.erase(it);
}

template <typename W>
W* PreferencesWindow::add(W* widget, Option* option, const QString& name, int x, int y, int width,
                          int height) {
  widget->setObjectName(name);
  // Enter presses the focused button, as it does in a dialog.
  if constexpr (std::is_base_of_v<QPushButton, W>) widget->setAutoDefault(true);
  widget->setGeometry(x, y, width, height);
  widget->show();
  controls_.push_back({nextId_++, option, widget});
  right_ = std::max(right_, x + width);
  bottom_ = std::max(bottom_, y + height);
  return widget;
}

void PreferencesWindow::layOut(const OptionSection& section) {
  // The old controls go later: this may run inside a click of one of them.
  for (Control& control : controls_) {
    control.widget->setObjectName(QString());
    control.widget->hide();
    control.widget->deleteLater();
  }
  controls_.clear();
  nextId_ = 1024;
  right_ = bottom_ = 0;
  section_ = &section;
  if (help_) help_->showSection(section_);

  const int a = 5 * fontMetrics().height();
  const int h = a / 3, w = 10 * h, m = a / 12, g = a / 24;
  const int labelWidth = 2 * w / 3;
  const int fullWidth = 2 * w + g;

  // A label's text starts at its top, a fifth of a row below the row's top,
  // so that it stands level with the text of the edit box beside it.
  auto label = [](QLabel* text) { text->setAlignment(Qt::AlignLeft | Qt::AlignTop); };

  // Two columns filled left to right, row by row.
  int column = 0;
  int y = m;
  auto halfPlace = [&] {
    int x = column == 0 ? m : m + g + w;
    if (++column == 2) {
      column = 0;
      y += h + g;
    }
    return x;
  };
  auto endRow = [&] {
    if (column == 1) {
      column = 0;
      y += h + g;
    }
  };

  auto* back = add(new QPushButton("&Return", this), nullptr, "returnButton", m, y, w, h);
  connect(back, &QPushButton::clicked, this, &QWidget::close);
  auto* help = add(new QPushButton("&Help", this), nullptr, "helpButton", m + g + w, y, w, h);
  connect(help, &QPushButton::clicked, this, [this] { showHelp(); });
  y += h + g;

  for (const OptionSection& other : options_.sections()) {
    if (&other == &section) continue;
    int rowY = y;
    int x = halfPlace();
    auto* button = add(new QPushButton(qt(other.name), this), nullptr, "section:" + qt(other.name),
                       x, rowY, w, h);
    const OptionSection* target = &other;
    connect(button, &QPushButton::clicked, this, [this, target] { layOut(*target); });
  }

  QWidget* firstField = nullptr;
  for (const Option& constOption : section.options) {
    if (!constOption.visible) continue;
    // The store hands out its table read-only; its options are its own to change.
    Option* option = const_cast<Option*>(&constOption);
    const QString key = qt(option->key);
    const QString caption = key + ":";
    QWidget* field = nullptr;
    if (option->flag) {
      int rowY = y;
      int x = halfPlace();
      auto* box = add(new LeftTextCheckBox(caption, this), option, "option:" + key, x, rowY,
                      2 * h / 3 + labelWidth, h);
      box->setChecked(ParameterFile::GetInt(option) != 0);
      connect(box, &QCheckBox::clicked, this,
              [this, option](bool checked) { clicked(option, checked); });
      field = box;
    } else if (option->numeric) {
      int rowY = y;
      int x = halfPlace();
      label(add(new QLabel(caption, this), option, "label:" + key, x, rowY + h / 5, labelWidth,
                h - h / 5));
      const int editWidth = w - labelWidth - g;
      auto* edit = add(new QLineEdit(qt(option->value), this), option, "option:" + key,
                       x + w - editWidth, rowY, editWidth, h);
      connect(edit, &QLineEdit::textChanged, this,
              [this, option](const QString& text) { edited(option, text); });
      field = edit;
    } else {
      endRow();
      label(add(new QLabel(caption, this), option, "label:" + key, m, y + h / 5, labelWidth,
                h - h / 5));
      const int browseWidth = 3 * h / 2;
      int editWidth = 2 * w - labelWidth;
      if (option->filename) editWidth -= browseWidth + g;
      auto* edit = add(new QLineEdit(qt(option->value), this), option, "option:" + key,
                       m + labelWidth + g, y, editWidth, h);
      if (option->password) edit->setEchoMode(QLineEdit::Password);
      connect(edit, &QLineEdit::textChanged, this,
              [this, option](const QString& text) { edited(option, text); });
      if (option->filename) {
        auto* dots = add(new QPushButton("...", this), option, "browse:" + key,
                         m + fullWidth - browseWidth, y, browseWidth, h);
        connect(dots, &QPushButton::clicked, this, [this, option, edit] { browse(option, edit); });
      }
      field = edit;
      y += h + g;
    }
    if (!firstField) firstField = field;
  }

  setWindowTitle(qt(section.name));
  setFixedSize(right_ + m, bottom_ + m);
  move(10, 10);
  (firstField ? firstField : back)->setFocus();
  update();
}

void PreferencesWindow::edited(Option* option, const QString& text) {
  std::string value = text.toStdString();
  if (value == ParameterFile::GetText(option)) return;
  if (option->numeric) value = normalisedNumber(value);
  options_.SetText(option, value);
}

void PreferencesWindow::clicked(Option* option, bool checked) {
  if (checked == (ParameterFile::GetInt(option) != 0)) return;
  options_.SetInt(option, checked ? 1 : 0);
}

void PreferencesWindow::browse(Option* option, QLineEdit* edit) {
  // Any name may be chosen, also one of a file that does not exist yet (a new
  // log file); a name without an extension is kept as it was typed.
  QFileDialog dialog(this, "Set " + qt(option->key));
  dialog.setObjectName("fileDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({"Text files (*.txt)", "All files (*)"});
  const QString current = qt(ParameterFile::GetText(option));
  if (!current.isEmpty()) dialog.selectFile(current);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString chosen = QFileInfo(dialog.selectedFiles().first()).absoluteFilePath();
  options_.SetText(option, chosen.toStdString());
  QSignalBlocker quiet(edit);  // stored already
  edit->setText(chosen);
}

void PreferencesWindow::showHelp() {
  if (help_) {
    bringToTop(help_);
    return;
  }
  help_ = new OptionHelpWindow(this, section_);
  help_->show();
}

void PreferencesWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(192, 192, 192));
}

void PreferencesWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void PreferencesWindow::closeEvent(QCloseEvent* event) {
  if (help_) help_->close();
  if (parent_) {
    parent_->raise();
    parent_->activateWindow();
    parent_->setFocus();
  }
  openWindows().erase(&options_);
  event->accept();
}

}  // namespace

void ShowPreferences(QWidget* parent, ParameterFile& options) {
  auto& windows = openWindows();
  auto it = windows.find(&options);
  if (it != windows.end()) {
    bringToTop(it->second);
    return;
  }
  if (options.sections().empty()) return;
  auto* window = new PreferencesWindow(parent, options);
  window->layOut(options.sections().front());
  window->show();
}

}  // namespace kestrel
