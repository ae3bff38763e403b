#pragma once
// Message boxes of the program: the task-modal box with an icon kind and the
// application title as default caption, and the standard error box that every
// failure reaching a UI action ends in.
#include <QFont>
#include <QSize>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>

class QWidget;

// Button sets and modifiers, bit-compatible with the classic message-box style
// words, so callers can pass the same numbers they would anywhere else.
enum : uint32_t {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_ABORTRETRYIGNORE = 0x2,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_RETRYCANCEL = 0x5,
  MB_TYPEMASK = 0xF,
  MB_ICONHAND = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONASTERISK = 0x40,
  MB_ICONMASK = 0xF0,
  MB_DEFBUTTON1 = 0x000,
  MB_DEFBUTTON2 = 0x100,
  MB_DEFBUTTON3 = 0x200,
  MB_DEFMASK = 0xF00,
  MB_TASKMODAL = 0x2000,
};

// Ids of the pressed button.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Message kinds: 0 warning, 1 error, 2 information, 3 question; anything else has no icon.
enum : uint8_t { mkWarning = 0, mkError = 1, mkInformation = 2, mkQuestion = 3 };

void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

// Shows an application-modal box and returns the id of the pressed button (IDOK ...).
// Safe from any thread: off the UI thread the call is carried over to the UI thread
// and the calling thread waits for the answer. The owner is used only on the UI thread.
int ShowMessageBox(QWidget* owner, const QString& text, uint8_t kind, uint32_t flags, const QString& caption,
                   uint32_t moreFlags);

// The application's standard error box: message (period rule applied), application
// title, error icon, OK. Safe from any thread like ShowMessageBox.
void ShowErrorBox(const QString& message);
// Same for a caught failure; its 8-bit message text is taken as UTF-8.
void ShowErrorBox(const std::exception& error);

// The text the error box shows: a period is added when the last character's code is
// above that of the period ("Incorrect period!" stays as it is).
QString ErrorBoxText(const QString& message);

// Maps the classic design fonts onto fonts present on this system ("MS Sans Serif").
// Call once after the QApplication exists; safe to call again.
void InstallFontSubstitutes();

// A font of one of the design families in pixels: the family itself where the system has it,
// else the first installed of the fallbacks that keep the design's widths closely enough for the
// fixed layouts (Arial- and Courier-metric).
QFont DesignFont(const char* family, int pixels, bool bold = false);

// The client size of a window designed at this outer size: the design counts a 4-pixel
// border on each side and a 30-pixel title bar, which the window system adds here.
QSize DesignClientSize(int outerWidth, int outerHeight);

// What a box would show; handed to the test observer instead of showing anything.
struct MessageBoxRequest {
  QString text;
  QString caption;  // after the default caption was applied
  uint8_t kind = 0;
  uint32_t style = 0;  // flags | moreFlags | MB_TASKMODAL | icon bits of the kind
  int icon = 0;        // QMessageBox::Icon value
  bool onUiThread = false;
};
using MessageBoxObserver = std::function<int(const MessageBoxRequest&)>;
// When set, boxes are not shown: the observer runs on the UI thread and its result
// is returned as the pressed button. An empty function restores real boxes.
void SetMessageBoxObserverForTesting(MessageBoxObserver observer);
