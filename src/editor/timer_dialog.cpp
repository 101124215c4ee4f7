#include "editor/timer_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <ctime>

#include "base/platform.h"
#include "editor/editor_support.h"
#include "script/definitions.h"

namespace kestrel {

namespace c = command_id;
namespace k = keyword_id;

namespace {

const char* const kDayNames[7] = {"Monday", "Tuesday",  "Wednesday", "Thirsday",
                                  "Friday", "Saturday", "Sunday"};
const char* const kDayObjects[7] = {"mondayCheck",   "tuesdayCheck", "wednesdayCheck",
                                    "thursdayCheck", "fridayCheck",  "saturdayCheck",
                                    "sundayCheck"};

QLineEdit* field(const char* objectName, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(objectName);
  return edit;
}

}  // namespace

TimerDialog::TimerDialog(Paragraph& paragraph, QWidget* parent)
    : QDialog(parent), paragraph_(paragraph) {
  setObjectName("timerDialog");
  setWindowTitle("Timer definition");
  setModal(true);

  auto* name = new QLabel(qtText(paragraph.name), this);
  name->setObjectName("paragraphName");
  startDate_ = field("startDateEdit", this);
  startTime_ = field("startTimeEdit", this);
  repeatDays_ = field("repeatDaysEdit", this);
  repeatTime_ = field("repeatTimeEdit", this);
  retryCount_ = field("retryCountEdit", this);
  retryInterval_ = field("retryIntervalEdit", this);

  auto* grid = new QGridLayout;
  auto row = [&](int line, const char* label, QLineEdit* first, const char* middle,
                 QLineEdit* second, const char* unit) {
    auto* caption = new QLabel(label, this);
    caption->setBuddy(first);
    grid->addWidget(caption, line, 0);
    grid->addWidget(first, line, 1);
    grid->addWidget(new QLabel(middle, this), line, 2);
    if (second) grid->addWidget(second, line, 3);
    grid->addWidget(new QLabel(unit, this), line, 4);
  };
  row(0, "Start date:", startDate_, "(yyyy-mm-dd)   at", startTime_, "(hh:mm)");
  row(1, "Repeat every:", repeatDays_, "days and", repeatTime_, "(hh:mm)");
  row(2, "Retry after errors:", retryCount_, "times after waiting", retryInterval_, "(hh:mm)");

  auto* dayGroup = new QGroupBox("Run on these days", this);
  dayGroup->setObjectName("daysGroup");
  auto* dayLayout = new QGridLayout(dayGroup);
  for (int day = 0; day < 7; ++day) {
    days_[day] = new QCheckBox(kDayNames[day], dayGroup);
    days_[day]->setObjectName(kDayObjects[day]);
    days_[day]->setChecked(true);
    dayLayout->addWidget(days_[day], day / 4, day % 4);
  }

  auto* ok = dialogButton("&Return", "returnButton", this);
  ok->setDefault(true);
  auto* cancel = dialogButton("&Cancel", "cancelButton", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(name);
  layout->addLayout(grid);
  layout->addWidget(dayGroup);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &TimerDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &TimerDialog::reject);

  std::time_t now = programClock().now();
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  startDate_->setText(text);
  std::snprintf(text, sizeof text, "%02d:%02d", local.tm_hour, local.tm_min);
  startTime_->setText(text);

  if (const Command* start = paragraph_.FindCommand(c::Start)) {
    startDate_->setText(qtText(start->argument));
    startTime_->setText(qtText(start->GetText(k::Time)));
    const std::string every = start->GetText(k::Every);
    const std::size_t dash = every.find('-');
    repeatDays_->setText(qtText(every.substr(0, dash)));
    if (dash != std::string::npos) repeatTime_->setText(qtText(every.substr(dash + 1)));
    // A shorter DAYS value leaves the remaining days out, as the scheduler
    // reads it.
    if (const KeywordValue* days = start->Find(k::Days)) {
      for (int day = 0; day < 7; ++day) {
        const char letter = day < static_cast<int>(days->value.size()) ? days->value[day] : 'N';
        days_[day]->setChecked(letter == 'Y' || letter == 'y');
      }
    }
  }
  if (const Command* retry = paragraph_.FindCommand(c::Retry)) {
    retryCount_->setText(qtText(retry->argument));
    retryInterval_->setText(qtText(retry->GetText(k::Interval)));
  }
  startDate_->setFocus();
  startDate_->selectAll();
}

// The values are checked by a timer record, the same checks the script's
// reading makes, so that a value the next load would refuse (and with it the
// whole script) is corrected here.
bool TimerDialog::fieldsAreReadable() {
  std::unique_ptr<Definition> timer =
      createScriptDefinition(kTimerKind, paragraph_.name, DefinitionSettings{});
  auto check = [](bool readable, const char* message, QLineEdit* edit) {
    if (readable) return true;
    programMessageBox().show(message, "Error", BoxIcon::Warning);
    edit->setFocus();
    edit->selectAll();
    return false;
  };
  const std::string time = scriptText(startTime_->text());
  if (!time.empty()) {
    const std::string days = scriptText(repeatDays_->text());
    const std::string hours = scriptText(repeatTime_->text());
    if (!check(timer->setCommand(c::Start, scriptText(startDate_->text())), "Illegal start date",
               startDate_) ||
        !check(timer->setKeyword(c::Start, k::Time, time), "Illegal start time", startTime_)) {
      return false;
    }
    if (!days.empty() || !hours.empty()) {
      const std::string every =
          (days.empty() ? "0" : days) + "-" + (hours.empty() ? "00:00" : hours);
      if (!check(timer->setKeyword(c::Start, k::Every, every), "Illegal repeat interval",
                 days.empty() ? repeatTime_ : repeatDays_)) {
        return false;
      }
    }
  }
  const std::string count = scriptText(retryCount_->text());
  const std::string interval = scriptText(retryInterval_->text());
  if (!count.empty()) {
    if (!check(timer->setCommand(c::Retry, count), "Illegal number of retries", retryCount_)) {
      return false;
    }
    if (!interval.empty() && !check(timer->setKeyword(c::Retry, k::Interval, interval),
                                    "Illegal retry waiting time", retryInterval_)) {
      return false;
    }
  }
  for (QLineEdit* edit :
       {startDate_, startTime_, repeatDays_, repeatTime_, retryCount_, retryInterval_}) {
    if (!acceptScriptText(scriptText(edit->text()), "This value", edit)) return false;
  }
  return true;
}

void TimerDialog::accept() {
  if (!fieldsAreReadable()) return;
  paragraph_.commands.clear();
  const std::string time = scriptText(startTime_->text());
  if (!time.empty()) {
    Command* start = paragraph_.AddCommand(paragraph_.entry->findCommand(c::Start),
                                           scriptText(startDate_->text()));
    start->SetText(k::Time, time);
    const std::string days = scriptText(repeatDays_->text());
    const std::string hours = scriptText(repeatTime_->text());
    // An empty part of the interval is written as zero: "1-" or "-02:00"
    // would not be read back.
    if (!days.empty() || !hours.empty()) {
      start->SetText(k::Every,
                     (days.empty() ? "0" : days) + "-" + (hours.empty() ? "00:00" : hours));
    }
    std::string letters;
    for (QCheckBox* day : days_) letters += day->isChecked() ? 'Y' : 'N';
    start->SetText(k::Days, letters);
  }
  const std::string count = scriptText(retryCount_->text());
  if (!count.empty()) {
    Command* retry = paragraph_.AddCommand(paragraph_.entry->findCommand(c::Retry), count);
    retry->SetText(k::Interval, scriptText(retryInterval_->text()));
  }
  QDialog::accept();
}

}  // namespace kestrel
