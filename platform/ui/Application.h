// The application object. Exceptions must not cross Qt's event loop, so every event handler runs
// under notify(), which turns an escaping exception into the general error report: a message
// box with the exception's text, after which the program goes on.
#pragma once

#include "platform/core/ProgramState.h"

#include <QApplication>
#include <QUrl>

namespace glyptor::platform {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the general error report for a text in a message box.
    static void ReportError(const QString& text);
};

// The general error report of a window: through state.ErrorReporter when set, else
// Application::ReportError.
void ReportError(const ProgramState& state, const QString& text);

// Every text of the program is Russian; Qt's own (the standard dialogs, their buttons) follows
// with its Russian translation, when the system has it (Debian: qt6-translations-l10n). False
// when it is missing: those texts then stay English.
bool InstallQtTranslations();

enum class MessageIcon { None, Information, Warning, Error };

// Opens an address with the desktop's handler (help page, web site), or hands it to
// state.UrlOpener when set; false when no handler could be started.
bool OpenUrl(const ProgramState& state, const QUrl& url);

// A modal message box with an OK button, owned by `owner` (may be null).
void MessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon);

} // namespace glyptor::platform
