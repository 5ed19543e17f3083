#include "platform/ui/Application.h"

#include <QDesktopServices>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include <exception>

namespace glyptor::platform {

namespace {

std::function<void(const QString&)>& Reporter() {
    static std::function<void(const QString&)> reporter;
    return reporter;
}

} // namespace

QString Application::HelpFile;

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
    if (Reporter()) {
        Reporter()(text);
        return;
    }
    MessageBox(QApplication::activeWindow(), text, QApplication::applicationName(),
               MessageIcon::Error);
}

void Application::SetErrorReporter(std::function<void(const QString&)> reporter) {
    Reporter() = std::move(reporter);
}

namespace {

std::function<void(const QUrl&)>& UrlOpener() {
    static std::function<void(const QUrl&)> opener;
    return opener;
}

} // namespace

bool OpenUrl(const QUrl& url) {
    if (!UrlOpener())
        return QDesktopServices::openUrl(url);
    UrlOpener()(url);
    return true;
}

void SetUrlOpener(std::function<void(const QUrl&)> opener) {
    UrlOpener() = std::move(opener);
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
