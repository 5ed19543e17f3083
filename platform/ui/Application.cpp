#include "platform/ui/Application.h"

#include <QDesktopServices>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include <exception>

namespace glyptor::platform {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    InstallQtTranslations();
}

bool InstallQtTranslations() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ReportError(QString::fromUtf8(error.what()));
    } catch (...) {
        ReportError(QStringLiteral("Неизвестная ошибка"));
    }
    return false;
}

void Application::ReportError(const QString& text) {
    MessageBox(QApplication::activeWindow(), text, QApplication::applicationName(),
               MessageIcon::Error);
}

void ReportError(const ProgramState& state, const QString& text) {
    if (state.ErrorReporter)
        state.ErrorReporter(text);
    else
        Application::ReportError(text);
}

bool OpenUrl(const ProgramState& state, const QUrl& url) {
    if (!state.UrlOpener)
        return QDesktopServices::openUrl(url);
    state.UrlOpener(url);
    return true;
}

void MessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageIcon::None:
        break;
    }
    box.exec();
}

} // namespace glyptor::platform
