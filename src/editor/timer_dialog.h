#pragma once
// "Timer definition": the START and RETRY commands of a TIMERDEFINITION
// paragraph. "&Return" rebuilds both commands from the fields; "&Cancel"
// (and Esc) leaves the paragraph as it was.

#include <QDialog>

#include "script/paragraph_list.h"

class QCheckBox;
class QLineEdit;

namespace kestrel {

class TimerDialog : public QDialog {
 public:
  TimerDialog(Paragraph& paragraph, QWidget* parent = nullptr);
  void accept() override;

 private:
  bool fieldsAreReadable();

  Paragraph& paragraph_;
  QLineEdit* startDate_;
  QLineEdit* startTime_;
  QLineEdit* repeatDays_;
  QLineEdit* repeatTime_;
  QLineEdit* retryCount_;
  QLineEdit* retryInterval_;
  QCheckBox* days_[7];
};

}  // namespace kestrel
