#pragma once
// Shared pieces of the main-window suites: a private program folder (Strings.ini lives there),
// a clean per-user folder, recorded message boxes and a way to answer modal dialogs.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/ReaderFM.h"
#include "app/ReportView.h"
#include "support/AppPaths.h"
#include "support/MessageBox.h"

struct ShownBox {
  QString text;
  QString caption;
  uint8_t kind = 0;
  bool onUiThread = false;
};

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(programDir_.isValid());
    // The program file's name decides the per-user folder and the settings file's name.
    SetProgramFilePathForTesting(ProgramDir() + "/veltra-qrm");
    userDir_ = GetLocalAppDataPath() + "/veltra-qrm";
    QDir(QString::fromStdString(userDir_)).removeRecursively();
    SetMessageBoxObserverForTesting([this](const MessageBoxRequest& r) {
      std::lock_guard<std::mutex> lock(boxesMutex_);
      boxes_.push_back({r.text, r.caption, r.kind, r.onUiThread});
      return 1;  // OK
    });
  }
  void TearDown() override {
    SetMessageBoxObserverForTesting({});
    SetProgramFilePathForTesting("");
    QDir(QString::fromStdString(userDir_)).removeRecursively();
  }

  std::string ProgramDir() const { return programDir_.path().toStdString(); }
  const std::string& UserDir() const { return userDir_; }
  std::string SettingsPath() const { return userDir_ + "/veltra-qrm.ini"; }

  void WriteStringsIni(const QByteArray& content) {
    QFile f(QString::fromStdString(ProgramDir() + "/Strings.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
  }

  std::vector<ShownBox> Boxes() {
    std::lock_guard<std::mutex> lock(boxesMutex_);
    return boxes_;
  }

 private:
  QTemporaryDir programDir_;
  std::string userDir_;
  std::mutex boxesMutex_;
  std::vector<ShownBox> boxes_;
};

// Calls `answer` with the first modal widget of type T that becomes active, from the event loop
// (the caller then starts whatever opens the dialog). A dialog that never shows is a failure.
template <class T>
void WhenModal(std::function<void(T*)> answer, int timeoutMs = 15000) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, clock, answer, timeoutMs] {
    if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      answer(w);
    } else if (clock->elapsed() > timeoutMs) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      ADD_FAILURE() << "the expected dialog did not appear";
    }
  });
  timer->start();
}

inline QByteArray ReadWholeFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// The main window's private state, for its tests.
struct TfmReaderFMPeer {
  static TReport& Report(TfmReaderFM& w) { return w.report_; }
  static std::string& PortName(TfmReaderFM& w) { return w.portName_; }
  static int32_t& Baud(TfmReaderFM& w) { return w.baud_; }
  static TfmReaderFM::TTexts& Texts(TfmReaderFM& w) { return w.texts_; }
  static void SaveSettings(TfmReaderFM& w) { w.SaveSettings(); }
};

// A control of a window by its object name (which is also its Strings.ini key).
template <class T>
T* Child(const QObject& window, const char* name) {
  T* child = window.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}
inline TReportView* View(const QObject& window) { return Child<TReportView>(window, "richResult"); }
