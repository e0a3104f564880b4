// Helpers for driving the real windows offscreen: act when a window shows,
// find controls, type and click.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

// The visible top-level window with that title, or nullptr.
inline QWidget* TopWindow(const QString& title) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle() == title) return w;
  return nullptr;
}

// Runs act once ready() holds, polling from the event loop that runs meanwhile.
inline void When(std::function<bool()> ready, std::function<void()> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, ready = std::move(ready), act = std::move(act)] {
    if (!ready()) return;
    timer->stop();
    timer->deleteLater();
    act();
  });
  timer->start();
}

// Runs act with the window once the window with that title shows.
inline void WhenShown(const QString& title, std::function<void(QWidget*)> act) {
  When([title] { return TopWindow(title) != nullptr; }, [title, act = std::move(act)] { act(TopWindow(title)); });
}

template <class T = QWidget>
T* Control(QWidget* window, const char* label) {
  T* w = window->findChild<T*>(QString::fromLatin1(label));
  EXPECT_NE(w, nullptr) << label;
  return w;
}

inline void Type(QWidget* target, const QString& text) {
  for (QChar ch : text) {
    const int key = ch.isLetterOrNumber() ? int(ch.toUpper().unicode()) : int(Qt::Key_unknown);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(target, &release);
  }
}

inline void PressKey(QWidget* target, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}

inline void Click(QWidget* window, const char* label) {
  if (auto* b = Control<QAbstractButton>(window, label)) b->click();
}

inline QString Text(QWidget* window, const char* label) {
  auto* e = Control<QLineEdit>(window, label);
  return e ? e->text() : QString();
}

// Runs the test in a fresh temporary directory as the current one.
class TempCwd {
 public:
  TempCwd() {
    old_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() /
           ("ortavia-ui-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  ~TempCwd() {
    std::filesystem::current_path(old_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::filesystem::path& dir() const { return dir_; }

 private:
  static inline int counter_ = 0;
  std::filesystem::path old_, dir_;
};

}  // namespace testsupport
