// Program entry: help file name, application title, the main window and the about window.
#include "about/About.h"
#include "app/Umain.h"
#include "platform/core/Allocator.h"
#include "platform/ui/Application.h"
#include "resources/skin/SkinResources.h"

#include <csignal>

int main(int argc, char** argv) {
    // Under a file size limit (ulimit -f) the signal would end the program in the middle of a
    // scan once the scan index grew past it. Ignored, the write fails as on a full disk, and
    // that failure is handled: the scan goes on without its index, a save says it failed.
    std::signal(SIGXFSZ, SIG_IGN);
    glyptor::platform::KeepFreedMemory();
    glyptor::platform::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glyptor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Glyptor 3"));

    glyptor::ProgramState state;
    state.HelpFile = QStringLiteral("glyptor.hlp");
    glyptor::TFMain window(std::move(state));
    glyptor::TAbout about(&window);
    about.SetTitlePicture(
        QPixmap::fromImage(glyptor::resources::BuiltInSkinPicture(QStringLiteral("TITLE1"))));
    window.State.About = &about;
    window.show();
    return app.exec();
}
