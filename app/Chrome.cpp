// The window's own frame: it is moved by its title and status strips and resized by its grip,
// all through one application-wide hook; the title buttons maximise and minimise it; pictures
// change while the pointer is over them; F1 opens the help page. Dialogs and other windows are
// kept inside their screen.
#include "app/Chrome.h"

#include "about/About.h"
#include "app/SettingsRules.h"
#include "browser/IconGrid.h"
#include "platform/ui/Application.h"
#include "theme/skin/Skin.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>

#include <algorithm>

namespace glyptor {

namespace {

enum class DragArea { None, Move, Resize };

bool OnWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// A window taller or wider than its screen's work area (a small screen, or a laptop's at twice the
// scale) is shrunk to it as far as its layout lets it and moved inside it. Qt only moves a dialog
// to the top of the screen and leaves its last rows and buttons below the edge; its own file
// dialogs are the size of a 1280x800 screen at scale 1.
void FitOnScreen(QWidget* window) {
    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : window;
    const QScreen* screen = owner->screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    // The window manager's title bar is not part of the window yet.
    const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    const QSize size = window->size().boundedTo(room.size() - QSize(0, title));
    if (size != window->size())
        window->resize(size); // never below the layout's minimum
    QRect frame(window->pos(), window->size() + QSize(0, title));
    if (room.contains(frame))
        return;
    frame.moveLeft(std::clamp(frame.left(), room.left(),
                              std::max(room.left(), room.right() + 1 - frame.width())));
    frame.moveTop(std::clamp(frame.top(), room.top(),
                             std::max(room.top(), room.bottom() + 1 - frame.height())));
    window->move(frame.topLeft());
}

int HoverFlag(const QLabel* control) {
    return control->property("Tag").toInt();
}

void SetHoverFlag(QLabel* control, int flag) {
    control->setProperty("Tag", flag);
}

} // namespace

TChrome::TChrome(ProgramState& state, TSkin& skin, ChromeControls controls, QObject* parent)
    : QObject(parent), state_(state), skin_(skin), controls_(controls) {
    setObjectName(QStringLiteral("Chrome"));
}

QUrl TChrome::HelpPage(const QString& helpFile) {
    // The help file name ("glyptor.hlp") names the page; a WinHelp file cannot be shown here,
    // so the HTML page of the same name beside the program stands in for it.
    QString name = helpFile;
    if (name.isEmpty())
        name = QStringLiteral("glyptor.hlp");
    name = QFileInfo(name).completeBaseName() + QStringLiteral(".html");
    return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/help/") +
                               name);
}

QUrl TChrome::HomePage(const QString& helpFile) {
    const QString configured = QStringLiteral(GLYPTOR_HOME_PAGE);
    return configured.isEmpty() ? HelpPage(helpFile) : QUrl(configured);
}

void TChrome::ChromePointer(QObject* target, QEvent* event) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    auto* widget = qobject_cast<QWidget*>(target);
    if (!widget || widget->window() != controls_.Window)
        return;
    // Pictures, labels and buttons take part through the strip that holds them.
    DragArea area = DragArea::None;
    for (QWidget* w = widget; w && w != controls_.Window; w = w->parentWidget()) {
        if (w == controls_.Panel_title || w == controls_.Panel_top) {
            area = DragArea::Move;
            break;
        }
        if (w == controls_.Panelresize) {
            area = DragArea::Resize;
            break;
        }
    }
    const QPoint point = mouse->globalPosition().toPoint();
    if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
        DragAnchor = point;
        // A compositor that does not let programs place windows moves them itself.
        if (OnWayland() && controls_.Window->windowHandle() && area != DragArea::None &&
            !maximized_ && mouse->buttons() == Qt::LeftButton && widget != controls_.sb_max &&
            widget != controls_.SB_Min) {
            if (area == DragArea::Move)
                controls_.Window->windowHandle()->startSystemMove();
            else
                controls_.Window->windowHandle()->startSystemResize(Qt::BottomEdge | Qt::RightEdge);
        }
        return;
    }
    if (event->type() != QEvent::MouseMove || OnWayland())
        return;
    // Exactly the left button, no other button and no Shift or Ctrl.
    const bool leftAlone = mouse->buttons() == Qt::LeftButton &&
                           (mouse->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0;
    if (!leftAlone || maximized_ || controls_.Window->isMinimized() || area == DragArea::None)
        return;
    const QPoint delta = point - DragAnchor;
    QWidget* window = controls_.Window;
    if (area == DragArea::Move)
        window->move(window->pos() + delta);
    else
        window->resize(window->width() + delta.x(), window->height() + delta.y());
    DragAnchor = point;
}

void TChrome::AppMessage(QObject* target, QEvent* event) {
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
        if (target == controls_.Image7)
            Image7MouseMove();
        else if (target == controls_.Image_opt)
            Image_optMouseMove();
        else if (target == controls_.Image_scan)
            Image_scanMouseMove();
        else if (target == controls_.Image_about)
            Image_aboutMouseMove();
        else if (target == controls_.Image_www)
            Image_wwwMouseMove();
        else if (target == controls_.Image_exit)
            Image_exitMouseMove();
        else if (target == controls_.Panel_Right || target == controls_.FATView ||
                 target == controls_.FATView->viewport() || target == controls_.Panel_title ||
                 target == controls_.Panel_opt || target == controls_.Panel_tools ||
                 target == controls_.Image_tools || target == controls_.Panel_scan ||
                 target == controls_.Image_resize || target == controls_.IconBox ||
                 target == controls_.IconBox->viewport() || target == controls_.Panel_top)
            FATViewMouseMove();
        return;
    }
    case QEvent::Show:
        // Dialogs and windows of their own, ours and Qt's; not the main window, which keeps
        // its own bounds, nor menus and tips, which place themselves.
        if (auto* window = qobject_cast<QWidget*>(target);
            window && window->isWindow() && window != controls_.Window &&
            !(window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip))
            FitOnScreen(window);
        return;
    case QEvent::MouseButtonDblClick:
        if (target == controls_.Image7 &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            sb_maxClick();
        return;
    default:
        return;
    }
}

void TChrome::ShowHover(QLabel* control, int slot, bool hover) {
    // The flag makes each swap happen once per entry and once per exit, not on every movement.
    if (hover != (HoverFlag(control) == 1)) {
        const auto picture = static_cast<skin::SlotIndex>(slot);
        if (control == controls_.Image7)
            skin_.DrawTitleLabel(picture);
        else
            control->setPixmap(QPixmap::fromImage(skin_.PictureSlot(picture)));
    }
    SetHoverFlag(control, hover ? 1 : 0);
}

void TChrome::Image7MouseMove() {
    ShowHover(controls_.Image7, skin::TITLE2, true);
    // The options strip touches the title: no surface lies between them to restore it.
    ShowHover(controls_.Image_opt, skin::OPTIONS1, false);
}

void TChrome::Image_optMouseMove() {
    ShowHover(controls_.Image_opt, skin::OPTIONS2, true);
    ShowHover(controls_.Image7, skin::TITLE1, false);
}

void TChrome::Image_scanMouseMove() {
    ShowHover(controls_.Image_scan, skin::SCAN2, true);
}

void TChrome::Image_aboutMouseMove() {
    ShowHover(controls_.Image_about, skin::ABOUT2, true);
}

void TChrome::Image_wwwMouseMove() {
    ShowHover(controls_.Image_www, skin::WWW2, true);
}

void TChrome::Image_exitMouseMove() {
    ShowHover(controls_.Image_exit, skin::EXIT2, true);
}

void TChrome::FATViewMouseMove() {
    ShowHover(controls_.Image7, skin::TITLE1, false);
    ShowHover(controls_.Image_opt, skin::OPTIONS1, false);
    ShowHover(controls_.Image_scan, skin::SCAN1, false);
    ShowHover(controls_.Image_exit, skin::EXIT1, false);
    ShowHover(controls_.Image_about, skin::ABOUT1, false);
    ShowHover(controls_.Image_www, skin::WWW1, false);
}

void TChrome::sb_maxClick() {
    QWidget* window = controls_.Window;
    if (maximized_) {
        maximized_ = false;
        window->setGeometry(normalBounds_);
        return;
    }
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // No taskbar to ask here: the desktop's work area is where a maximised window belongs.
    normalBounds_ = window->geometry();
    maximized_ = true;
    window->setGeometry(screen->availableGeometry());
}

QRect TChrome::NormalBounds() const {
    if (maximized_)
        return normalBounds_;
    // Maximised or full screen by the window manager.
    const QWidget* window = controls_.Window;
    if ((window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) &&
        window->normalGeometry().isValid())
        return window->normalGeometry();
    return window->geometry();
}

void TChrome::SB_MinClick() {
    controls_.Window->showMinimized();
}

void TChrome::Image7Click() {
    if (state_.About) {
        state_.About->show();
        state_.About->raise();
    }
}

void TChrome::Image_wwwClick() {
    OpenPage(HomePage(state_.HelpFile));
}

void TChrome::OpenPage(const QUrl& page) {
    if (platform::OpenUrl(state_, page))
        return;
    const QString name = page.isLocalFile() ? page.toLocalFile() : page.toString();
    platform::ReportError(
        state_, QStringLiteral("Не удалось открыть страницу %1: не найдена программа для просмотра "
                               "(нужен пакет xdg-utils и браузер).")
                    .arg(name));
}

void TChrome::Image_optMouseDown() {
    QWidget* window = controls_.Window;
    const QPoint files = controls_.PanelFiles->mapTo(window, QPoint(0, 0));
    controls_.maskmenu->popup(QPoint(window->x() + files.x() + 1,
                                     window->y() + files.y() + controls_.Panel_title->height()));
}

void TChrome::FormResize() {
    QWidget* window = controls_.Window;
    const int limitedWidth = LimitWidth(window->width());
    const int limitedHeight = LimitHeight(window->height());
    if (limitedWidth != window->width() || limitedHeight != window->height())
        window->resize(limitedWidth, limitedHeight);
    skin_.PlaceTitleButtons();
}

void TChrome::Splitter1Moved() {
    skin_.PlaceTitleButtons();
    skin_.ComposeSkinPictures();
}

void TChrome::FormKeyDown(int key) {
    if (key == Qt::Key_F1)
        OpenPage(HelpPage(state_.HelpFile));
}

} // namespace glyptor
