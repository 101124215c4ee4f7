#include "base/platform.h"

#include <csignal>
#include <cstdio>

#include "base/shown_text.h"

namespace kestrel {

namespace {
SystemClock systemClock;
Clock* currentClock = nullptr;
StderrMessageBox stderrBox;
MessageBox* currentBox = nullptr;

class IdlePump final : public MessagePump {
 public:
  void pumpMessages() override {}
};
IdlePump idlePump;
MessagePump* currentPump = nullptr;
}  // namespace

Clock& programClock() { return currentClock ? *currentClock : systemClock; }
void setProgramClock(Clock* clock) { currentClock = clock; }

MessageBox& programMessageBox() { return currentBox ? *currentBox : stderrBox; }
void setProgramMessageBox(MessageBox* box) { currentBox = box; }

namespace {
volatile std::sig_atomic_t stopRequested = 0;
}
void requestProgramStop() { stopRequested = 1; }
bool programStopRequested() { return stopRequested != 0; }
void clearProgramStop() { stopRequested = 0; }

MessagePump& programMessagePump() { return currentPump ? *currentPump : idlePump; }
void setProgramMessagePump(MessagePump* pump) { currentPump = pump; }

void StderrMessageBox::show(const std::string& text, const std::string& caption, BoxIcon) {
  // The text may quote a parameter file or a script: escapes are shown, not
  // obeyed, and a NUL does not end it.
  const std::string line = visibleText(caption) + ": " + visibleText(text, LineFeeds::Kept) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

BoxAnswer StderrMessageBox::ask(const std::string& text, const std::string& caption, BoxIcon icon,
                                BoxButtons buttons) {
  show(text, caption, icon);
  return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Cancel;
}

}  // namespace kestrel
