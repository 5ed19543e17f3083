// The about window: a small tool window that stays on top, shows the title picture, the
// program's name and its version, and hides itself with "Закрыть".
#pragma once

#include <QWidget>

class QLabel;

namespace glyptor {

class TAbout : public QWidget {
    Q_OBJECT
public:
    explicit TAbout(QWidget* parent = nullptr);
    // The title picture follows the skin.
    void SetTitlePicture(const QPixmap& picture);

private:
    QLabel* title_ = nullptr;
};

} // namespace glyptor
