// The application object. Exceptions must not cross Qt's event loop, so every event handler runs
// under notify(), which turns an escaping exception into the general error report: a message
// box with the exception's text, after which the program goes on.
#pragma once

#include <QApplication>
#include <QUrl>

#include <functional>

namespace glyptor::platform {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the general error report for a text; tests replace the reporter.
    static void ReportError(const QString& text);
    static void SetErrorReporter(std::function<void(const QString&)> reporter);

    // The help file name set at start ("glyptor.hlp").
    static QString HelpFile;
};

// Every text of the program is Russian; Qt's own (the standard dialogs, their buttons) follows
// with its Russian translation, when the system has it (Debian: qt6-translations-l10n). False
// when it is missing: those texts then stay English.
bool InstallQtTranslations();

enum class MessageIcon { None, Information, Warning, Error };

// Opens an address with the desktop's handler (help page, web site); false when no handler
// could be started. Tests replace the opener.
bool OpenUrl(const QUrl& url);
void SetUrlOpener(std::function<void(const QUrl&)> opener);

// A modal message box with an OK button, owned by `owner` (may be null).
void MessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon);

} // namespace glyptor::platform
