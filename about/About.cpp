#include "about/About.h"

#include "resources/Resources.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace glyptor {

TAbout::TAbout(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("О программе"));
    auto* layout = new QVBoxLayout(this);
    title_ = new QLabel(this);
    title_->setAlignment(Qt::AlignCenter);
    title_->setPixmap(resources::ProgramIcon(64));
    auto* name = new QLabel(QStringLiteral("<b>Glyptor 3</b>"), this);
    name->setAlignment(Qt::AlignCenter);
    auto* version =
        new QLabel(QStringLiteral("Версия %1").arg(QStringLiteral(GLYPTOR_VERSION)), this);
    version->setAlignment(Qt::AlignCenter);
    auto* blurb = new QLabel(QStringLiteral("Значки из файлов Windows"), this);
    blurb->setAlignment(Qt::AlignCenter);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    close->setObjectName(QStringLiteral("CloseButton"));
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    layout->addWidget(title_);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(blurb);
    layout->addWidget(close, 0, Qt::AlignHCenter);
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TAbout::SetTitlePicture(const QPixmap& picture) {
    if (!picture.isNull())
        title_->setPixmap(picture);
}

} // namespace glyptor
