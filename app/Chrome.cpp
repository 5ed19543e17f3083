// The window's own frame: it is moved by its title and status strips and resized by its grip,
// all through one application-wide hook; the title buttons maximise and minimise it; pictures
// change while the pointer is over them; F1 opens the help page.
#include "app/Umain.h"

#include "about/About.h"
#include "app/SettingsRules.h"
#include "platform/ui/Application.h"
#include "theme/skin/SkinPictures.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSplitter>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

namespace glyptor {

namespace {

enum class DragArea { None, Move, Resize };

bool OnWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

int HoverFlag(const QLabel* control) {
    return control->property("Tag").toInt();
}

void SetHoverFlag(QLabel* control, int flag) {
    control->setProperty("Tag", flag);
}

} // namespace

QUrl TFMain::HelpPage() {
    // The help file name ("glyptor.hlp") names the page; a WinHelp file cannot be shown here,
    // so the HTML page of the same name beside the program stands in for it.
    QString name = platform::Application::HelpFile;
    if (name.isEmpty())
        name = QStringLiteral("glyptor.hlp");
    name = QFileInfo(name).completeBaseName() + QStringLiteral(".html");
    return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/help/") +
                               name);
}

QUrl TFMain::HomePage() {
    const QString configured = QStringLiteral(GLYPTOR_HOME_PAGE);
    return configured.isEmpty() ? HelpPage() : QUrl(configured);
}

void TFMain::ChromePointer(QObject* target, QEvent* event) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    auto* widget = qobject_cast<QWidget*>(target);
    if (!widget || widget->window() != this)
        return;
    // Pictures, labels and buttons take part through the strip that holds them.
    DragArea area = DragArea::None;
    for (QWidget* w = widget; w && w != this; w = w->parentWidget()) {
        if (w == Panel_title || w == Panel_top) {
            area = DragArea::Move;
            break;
        }
        if (w == Panelresize) {
            area = DragArea::Resize;
            break;
        }
    }
    const QPoint point = mouse->globalPosition().toPoint();
    if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
        DragAnchor = point;
        // A compositor that does not let programs place windows moves them itself.
        if (OnWayland() && windowHandle() && area != DragArea::None && !maximized_ &&
            mouse->buttons() == Qt::LeftButton && widget != sb_max && widget != SB_Min) {
            if (area == DragArea::Move)
                windowHandle()->startSystemMove();
            else
                windowHandle()->startSystemResize(Qt::BottomEdge | Qt::RightEdge);
        }
        return;
    }
    if (event->type() != QEvent::MouseMove || OnWayland())
        return;
    // Exactly the left button, no other button and no Shift or Ctrl.
    const bool leftAlone = mouse->buttons() == Qt::LeftButton &&
                           (mouse->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0;
    if (!leftAlone || maximized_ || isMinimized() || area == DragArea::None)
        return;
    const QPoint delta = point - DragAnchor;
    if (area == DragArea::Move)
        move(pos() + delta);
    else
        resize(width() + delta.x(), height() + delta.y());
    DragAnchor = point;
}

void TFMain::AppMessage(QObject* target, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove: {
        // The window system's event first reaches the QWindow; only controls count.
        if (!target->isWidgetType())
            return;
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        const QPointF global = mouse->globalPosition();
        if (event->type() == lastEventType_ && mouse->timestamp() == lastEventTime_ &&
            global == lastEventPoint_)
            return;
        lastEventType_ = event->type();
        lastEventTime_ = mouse->timestamp();
        lastEventPoint_ = global;
        ChromePointer(target, event);
        if (event->type() != QEvent::MouseMove)
            return;
        // Hover enter on the six pictures, hover exit on the surfaces around them.
        if (target == Image7)
            Image7MouseMove();
        else if (target == Image_opt)
            Image_optMouseMove();
        else if (target == Image_scan)
            Image_scanMouseMove();
        else if (target == Image_about)
            Image_aboutMouseMove();
        else if (target == Image_www)
            Image_wwwMouseMove();
        else if (target == Image_exit)
            Image_exitMouseMove();
        else if (target == Panel_Right || target == FATView || target == FATView->viewport() ||
                 target == Panel_title || target == Panel_opt || target == Panel_tools ||
                 target == Image_tools || target == Panel_scan || target == Image_resize ||
                 target == IconBox || target == IconBox->viewport() || target == Panel_top)
            FATViewMouseMove();
        return;
    }
    case QEvent::MouseButtonDblClick:
        if (target == Image7 && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            sb_maxClick();
        return;
    default:
        return;
    }
}

void TFMain::ShowHover(QLabel* control, int slot, bool hover) {
    // The flag makes each swap happen once per entry and once per exit, not on every movement.
    if (hover != (HoverFlag(control) == 1)) {
        const auto picture = static_cast<skin::SlotIndex>(slot);
        if (control == Image7)
            skin::DrawTitleLabel(*this, picture);
        else
            control->setPixmap(QPixmap::fromImage(skin::PictureSlot(*this, picture)));
    }
    SetHoverFlag(control, hover ? 1 : 0);
}

void TFMain::Image7MouseMove() {
    ShowHover(Image7, skin::TITLE2, true);
    // The options strip touches the title: no surface lies between them to restore it.
    ShowHover(Image_opt, skin::OPTIONS1, false);
}

void TFMain::Image_optMouseMove() {
    ShowHover(Image_opt, skin::OPTIONS2, true);
    ShowHover(Image7, skin::TITLE1, false);
}

void TFMain::Image_scanMouseMove() {
    ShowHover(Image_scan, skin::SCAN2, true);
}

void TFMain::Image_aboutMouseMove() {
    ShowHover(Image_about, skin::ABOUT2, true);
}

void TFMain::Image_wwwMouseMove() {
    ShowHover(Image_www, skin::WWW2, true);
}

void TFMain::Image_exitMouseMove() {
    ShowHover(Image_exit, skin::EXIT2, true);
}

void TFMain::FATViewMouseMove() {
    ShowHover(Image7, skin::TITLE1, false);
    ShowHover(Image_opt, skin::OPTIONS1, false);
    ShowHover(Image_scan, skin::SCAN1, false);
    ShowHover(Image_exit, skin::EXIT1, false);
    ShowHover(Image_about, skin::ABOUT1, false);
    ShowHover(Image_www, skin::WWW1, false);
}

void TFMain::sb_maxClick() {
    if (maximized_) {
        maximized_ = false;
        setGeometry(normalBounds_);
        return;
    }
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // No taskbar to ask here: the desktop's work area is where a maximised window belongs.
    normalBounds_ = geometry();
    maximized_ = true;
    setGeometry(screen->availableGeometry());
}

QRect TFMain::NormalBounds() const {
    if (maximized_)
        return normalBounds_;
    // Maximised or full screen by the window manager.
    if ((windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) &&
        normalGeometry().isValid())
        return normalGeometry();
    return geometry();
}

void TFMain::SB_MinClick() {
    showMinimized();
}

void TFMain::Image7Click() {
    if (About) {
        About->show();
        About->raise();
    }
}

void TFMain::Image_wwwClick() {
    OpenPage(HomePage());
}

void TFMain::OpenPage(const QUrl& page) {
    if (platform::OpenUrl(page))
        return;
    const QString name = page.isLocalFile() ? page.toLocalFile() : page.toString();
    platform::Application::ReportError(
        QStringLiteral("Не удалось открыть страницу %1: не найдена программа для просмотра "
                       "(нужен пакет xdg-utils и браузер).")
            .arg(name));
}

void TFMain::Image_optMouseDown() {
    const QPoint files = PanelFiles->mapTo(this, QPoint(0, 0));
    maskmenu->popup(QPoint(x() + files.x() + 1, y() + files.y() + Panel_title->height()));
}

void TFMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TFMain::FormResize() {
    const int limitedWidth = LimitWidth(width());
    const int limitedHeight = LimitHeight(height());
    if (limitedWidth != width() || limitedHeight != height())
        resize(limitedWidth, limitedHeight);
    PlaceTitleButtons();
}

void TFMain::Splitter1Moved() {
    PlaceTitleButtons();
    ComposeSkinPictures();
}

void TFMain::FormKeyDown(int key) {
    if (key == Qt::Key_F1)
        OpenPage(HelpPage());
}

} // namespace glyptor
