#pragma once
// What the editor tests share: the program's options on an in-memory
// profile, a message box that answers from a script, a temporary folder for
// script files, and a way to act on a modal dialog while its exec() runs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/parameter_file.h"
#include "fakes.h"
#include "script/paragraph_list.h"

namespace kestrel::test {

// The control `name` of `parent`; fails the test when it is missing.
template <class T>
T* control(QWidget* parent, const char* name) {
  T* widget = parent->findChild<T*>(name);
  EXPECT_NE(widget, nullptr) << "no control " << name;
  return widget;
}

// Runs `action` once the dialog named `name` is visible, that is inside its
// own modal loop. Register it before the click that opens the dialog.
// The waits not yet answered; a test that ends with one left has missed a
// dialog, and the wait must not act on a dialog of the next test.
inline std::vector<std::pair<QTimer*, QString>>& pendingWaits() {
  static std::vector<std::pair<QTimer*, QString>> waits;
  return waits;
}

inline void whenShown(const QString& name, std::function<void(QDialog*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  pendingWaits().emplace_back(timer, name);
  QObject::connect(timer, &QTimer::timeout, [timer, name, action] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(window);
      if (dialog && dialog->objectName() == name && dialog->isVisible()) {
        timer->stop();
        timer->deleteLater();
        std::erase_if(pendingWaits(), [timer](const auto& wait) { return wait.first == timer; });
        if (!QTest::qWaitForWindowExposed(dialog))
          ADD_FAILURE() << "not exposed: " << name.toStdString();
        action(dialog);
        return;
      }
    }
  });
  timer->start();
}

inline void typeInto(QWidget* parent, const char* name, const QString& text);

class EditorTest : public ::testing::Test {
 protected:
  EditorTest() : options(profile) {
    DefineKestrelOptions(options);
    setProgramOptions(&options);
  }
  ~EditorTest() override {
    setProgramOptions(nullptr);
    for (const auto& [timer, name] : pendingWaits()) {
      ADD_FAILURE() << "dialog " << name.toStdString() << " never opened";
      delete timer;
    }
    pendingWaits().clear();
    // A dialog left open by a failed test must not stay behind.
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->isVisible()) window->close();
    }
  }

  std::string file(const char* name) const { return folder.filePath(name).toStdString(); }

  // A paragraph of the kind, in `list`.
  static Paragraph& addParagraph(ParagraphList& list, int kind, const std::string& name) {
    return *list.AddParagraph(ScriptGrammar::instance().paragraphOfKind(kind), name);
  }

  MemoryProfile profile;
  ParameterFile options;
  RecordingMessageBox boxes;
  QTemporaryDir folder;
};

// Clicks the enabled button `name` of `dialog`.
inline void click(QWidget* dialog, const char* name) {
  QPushButton* button = control<QPushButton>(dialog, name);
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->isEnabled()) << name;
  QTest::mouseClick(button, Qt::LeftButton);
}

inline bool enabled(QWidget* dialog, const char* name) {
  return control<QWidget>(dialog, name)->isEnabled();
}

inline void typeInto(QWidget* parent, const char* name, const QString& text) {
  QWidget* widget = control<QWidget>(parent, name);
  if (!widget) return;
  widget->setFocus();
  QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(widget, Qt::Key_Delete);
  for (QChar ch : text) {
    if (ch.unicode() < 128) {
      QTest::keyClick(widget, ch.toLatin1());
    } else {
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
  }
}

}  // namespace kestrel::test
