#pragma once
// The status of a running copy: a few labelled lines (which definition, which
// tables, the current operation, the row number) and, when the option
// CancelActive is set, a way for the operator to cancel. The run never needs a
// window: the program supplies one through StatusWindowFactory, headless runs
// have none.

#include <list>
#include <memory>
#include <string>

namespace kestrel {

struct StatusLine {
  std::string label;
  std::string value;
  int index = 0;
  bool changed = true;  // must be drawn at the next paint
};

class StatusDisplay;

// The window of a status display, alive between Show and Close.
class StatusWindow {
 public:
  virtual ~StatusWindow() = default;
  // Draws the lines marked changed at once (invalidate without erase, update).
  virtual void repaintChanged() = 0;
};

class StatusWindowFactory {
 public:
  virtual ~StatusWindowFactory() = default;
  // Creates and shows the window; nullptr when that fails (the display then
  // goes on without one).
  virtual std::unique_ptr<StatusWindow> create(StatusDisplay& display) = 0;
};

// Pixel layout of the window for a font of text height h and average
// character width w.
struct StatusGeometry {
  int x = 10, y = 10, width = 0, height = 0;
  bool hasButton = false;
  int buttonLeft = 0, buttonTop = 0, buttonRight = 0, buttonBottom = 0;
  int labelX = 0, valueLeft = 0, valueRight = 0;
};

class StatusDisplay {
 public:
  StatusDisplay() = default;
  StatusDisplay(const StatusDisplay&) = delete;
  StatusDisplay& operator=(const StatusDisplay&) = delete;
  ~StatusDisplay() { Close(); }

  StatusLine* AddStatusLine(const std::string& label);
  void SetValue(StatusLine* line, const std::string& text);
  void SetValue(StatusLine* line, long number) { SetValue(line, std::to_string(number)); }
  void Show();
  bool CancelRequested() const { return cancelActive_ && cancelRequested_; }
  void Close() { window_.reset(); }

  // The operator confirmed the cancel question ("Do you really want to cancel
  // the copy operation ?"): the run stops at its next row.
  void RequestCancel() { cancelRequested_ = true; }
  // The window was destroyed by the platform; a later Show makes a new one.
  void WindowDestroyed() { window_.release(); }

  void setCancelActive(bool active) { cancelActive_ = active; }
  bool cancelActive() const { return cancelActive_; }
  void setTitle(const std::string& title) { title_ = title; }
  const std::string& title() const { return title_; }
  void setParent(StatusWindowFactory* parent) { parent_ = parent; }
  bool hasWindow() const { return window_ != nullptr; }
  std::list<StatusLine>& lines() { return lines_; }
  const std::list<StatusLine>& lines() const { return lines_; }

  StatusGeometry geometry(int textHeight, int charWidth) const;

 private:
  bool cancelActive_ = false;
  bool cancelRequested_ = false;
  std::string title_ = "Status";
  StatusWindowFactory* parent_ = nullptr;
  std::list<StatusLine> lines_;
  std::unique_ptr<StatusWindow> window_;
};

}  // namespace kestrel
