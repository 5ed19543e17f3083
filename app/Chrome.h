// The window chrome controller: the frameless window is moved by its title and status strips and
// resized by its grip, all through one application-wide hook; the title buttons maximise and
// minimise it; pictures change while the pointer is over them; F1 opens the help page; dialogs and
// other windows are kept inside their screen.
#pragma once

#include "platform/core/ProgramState.h"

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QRect>

class QFrame;
class QLabel;
class QMenu;
class QToolButton;
class QTreeWidget;
class QUrl;

namespace glyptor {

class TIconBox;
class TSkin;

// The controls of the chrome: the strips that move and size the window, the hover pictures
// and the surfaces around them.
struct ChromeControls {
    QWidget* Window = nullptr;
    QFrame* Panel_Right = nullptr;
    QFrame* PanelFiles = nullptr;
    QFrame* Panel_title = nullptr;
    QFrame* Panel_opt = nullptr;
    QFrame* Panel_tools = nullptr;
    QFrame* Panel_scan = nullptr;
    QFrame* Panelresize = nullptr;
    QFrame* Panel_top = nullptr;
    QLabel* Image7 = nullptr;
    QLabel* Image_opt = nullptr;
    QLabel* Image_scan = nullptr;
    QLabel* Image_tools = nullptr;
    QLabel* Image_exit = nullptr;
    QLabel* Image_resize = nullptr;
    QLabel* Image_about = nullptr;
    QLabel* Image_www = nullptr;
    QToolButton* sb_max = nullptr;
    QToolButton* SB_Min = nullptr;
    QTreeWidget* FATView = nullptr;
    TIconBox* IconBox = nullptr;
    QMenu* maskmenu = nullptr;
};

class TChrome : public QObject {
    Q_OBJECT
public:
    TChrome(ProgramState& state, TSkin& skin, ChromeControls controls, QObject* parent = nullptr);

    // The application-wide hook: sees every event before it is delivered; never consumes it.
    void AppMessage(QObject* target, QEvent* event);
    void sb_maxClick();
    void SB_MinClick();
    void Image7Click();
    void Image_wwwClick();
    void Image_optMouseDown();
    void Image7MouseMove();
    void Image_optMouseMove();
    void Image_scanMouseMove();
    void Image_aboutMouseMove();
    void Image_wwwMouseMove();
    void Image_exitMouseMove();
    void FATViewMouseMove();
    void FormResize();
    void Splitter1Moved();
    void FormKeyDown(int key);
    // Maximised into the work area by sb_maxClick (the window draws its own frame, so the state
    // is kept here rather than left to a window manager that may not exist).
    bool Maximized() const { return maximized_; }
    // The window's bounds in the normal state, also while it is maximised: what is saved.
    QRect NormalBounds() const;
    // Opens a page with the desktop's handler; when that fails, says so naming the page.
    void OpenPage(const QUrl& page);
    // The help page and the home page the web picture opens, for a help file name
    // ("glyptor.hlp" when empty).
    static QUrl HelpPage(const QString& helpFile = QString());
    static QUrl HomePage(const QString& helpFile = QString());

    // The drag anchor: the screen point of the last left-button press, moved with each step.
    QPoint DragAnchor;

private:
    void ShowHover(QLabel* control, int slot, bool hover);
    void ChromePointer(QObject* target, QEvent* event);

    ProgramState& state_;
    TSkin& skin_;
    ChromeControls controls_;
    bool maximized_ = false;
    QRect normalBounds_;
    // Each pointer event is seen once, at the control it was first sent to: Qt passes a copy
    // of an ignored event on to the parent, which the hook must not count twice.
    quint64 lastEventTime_ = 0;
    QEvent::Type lastEventType_ = QEvent::None;
    QPointF lastEventPoint_;
};

} // namespace glyptor
