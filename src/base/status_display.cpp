#include "base/status_display.h"

namespace kestrel {

StatusLine* StatusDisplay::AddStatusLine(const std::string& label) {
  StatusLine line;
  line.label = label;
  line.index = lines_.empty() ? 0 : lines_.back().index + 1;
  lines_.push_back(std::move(line));
  return &lines_.back();
}

void StatusDisplay::SetValue(StatusLine* line, const std::string& text) {
  if (!line || line->value == text) return;
  line->value = text;
  line->changed = true;
  if (window_) window_->repaintChanged();
}

void StatusDisplay::Show() {
  cancelRequested_ = false;
  if (window_) {
    window_->repaintChanged();
    return;
  }
  if (parent_) window_ = parent_->create(*this);
}

StatusGeometry StatusDisplay::geometry(int h, int w) const {
  StatusGeometry g;
  const int lastIndex = lines_.empty() ? 0 : lines_.back().index;
  const int n = static_cast<int>(lines_.size());
  g.width = 78 * w;
  g.labelX = w;
  g.valueLeft = 28 * w;
  g.valueRight = 78 * w;
  if (cancelActive_) {
    g.hasButton = true;
    g.buttonLeft = 78 * w / 4;
    g.buttonRight = 78 * w - 78 * w / 4;
    g.buttonTop = n == 0 ? 3 : n * h + h / 2;
    g.buttonBottom = g.buttonTop + 2 * h;
    g.height = (6 + lastIndex) * h - h / 2;
  } else {
    g.height = (3 + lastIndex) * h;
  }
  return g;
}

}  // namespace kestrel
