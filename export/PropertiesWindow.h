// The "Свойства значка" window: for one found icon, the file's program path, the icon's index
// and resource, and every image of its group side by side at its own size on a checkerboard,
// each labelled "48 x 48, 32 бит, PNG, 12 345 байт" with buttons to save it (PNG with alpha,
// or its own bytes as a single-image .ico) and to copy it. It is not modal: the window calls
// SetIcon as the selection moves. Escape closes it. Colours come from the caller's skin.
#pragma once

#include "export/IconGroup.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>
#include <string>

class QLabel;
class QHBoxLayout;
class QScrollArea;

namespace glyptor {

class PropertiesWindow : public QWidget {
public:
    explicit PropertiesWindow(QWidget* parent = nullptr);

    // Shows icon `index` of the file at the native path; `programPath` is the path as the
    // program shows it ("C:\WINDOWS\SYSTEM32\SHELL32.DLL"). An unreadable icon shows no images.
    void SetIcon(const QString& programPath, const std::string& nativePath, int index);
    // The skin's colours: background of the window and its text.
    void SetColours(const QColor& background, const QColor& text);

    int ImageCount() const;
    // The label under image `image`, e.g. "48 x 48, 32 бит, PNG, 12 345 байт".
    QString ImageLabel(int image) const;
    // Saves image `image`: a name ending in ".ico" gets its own bytes as a single-image icon
    // file, any other name a PNG with alpha. Returns false when it could not be written.
    bool SaveImage(int image, const QString& nativeFile);
    // Puts image `image` on the clipboard (picture and image/png).
    void CopyImage(int image);

    // "48 x 48, 32 бит, PNG, 12 345 байт".
    static QString Describe(const icongroup::GroupImage& image);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Rebuild();
    void AskAndSave(int image);

    QLabel* path_ = nullptr;
    QLabel* identity_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* strip_ = nullptr;
    std::optional<icongroup::IconGroupInfo> group_;
};

} // namespace glyptor
