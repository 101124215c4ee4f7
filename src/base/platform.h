#pragma once
// The few places where the core needs the desktop or the operating system.
// The programs implement them with Qt; the tests with small fakes. Each
// interface is narrow on purpose: the core must never know a window.

#include <ctime>
#include <string>

namespace kestrel {

// Local wall-clock time. Tests substitute a clock they can move.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::time_t now() const = 0;
};

class SystemClock final : public Clock {
 public:
  std::time_t now() const override { return std::time(nullptr); }
};

// The clock the program runs on; a test may install its own for its duration.
Clock& programClock();
void setProgramClock(Clock* clock);  // nullptr restores the system clock

enum class BoxIcon { Information, Warning, Error, Question };
// The buttons of a question box, and the button the user pressed.
enum class BoxButtons { YesNo, OkCancel };
enum class BoxAnswer { Yes, No, Ok, Cancel };

// Modal message boxes. Headless runs print the text to standard error.
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // A box with an OK button only.
  virtual void show(const std::string& text, const std::string& caption, BoxIcon icon) = 0;
  // A question: returns the button pressed (Yes or No, OK or Cancel).
  virtual BoxAnswer ask(const std::string& text, const std::string& caption, BoxIcon icon,
                        BoxButtons buttons) = 0;
};

// Nobody can answer on standard error, so every question gets the answer that
// changes nothing: No, or Cancel.
class StderrMessageBox final : public MessageBox {
 public:
  void show(const std::string& text, const std::string& caption, BoxIcon icon) override;
  BoxAnswer ask(const std::string& text, const std::string& caption, BoxIcon icon,
                BoxButtons buttons) override;
};

// The message box the program shows; a StderrMessageBox until a window
// program installs its own.
MessageBox& programMessageBox();
void setProgramMessageBox(MessageBox* box);  // nullptr restores standard error

// Processes pending window messages during long work, so that a Cancel button,
// menu commands and timer ticks are handled while a copy runs.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual void pumpMessages() = 0;
};

// The pump of the running program: does nothing until a program with an event
// loop installs its own.
MessagePump& programMessagePump();
void setProgramMessagePump(MessagePump* pump);  // nullptr restores the no-op pump
inline void PumpMessages() { programMessagePump().pumpMessages(); }

// Set from a signal handler when the program is asked to end (SIGINT,
// SIGTERM): a run in progress stops at its next row, as a cancel does.
void requestProgramStop();
bool programStopRequested();
void clearProgramStop();

}  // namespace kestrel
