// The main window: the control tree, the controllers built over it, and the routing of window
// events, drops and keys to them.
#include "app/Umain.h"

#include "platform/core/FileSystem.h"
#include "platform/core/Paths.h"
#include "platform/core/System.h"
#include "platform/ui/Application.h"
#include "resources/Resources.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

namespace glyptor {

QFrame* TFMain::NewPanel(QWidget* parent, const char* name) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameShape(QFrame::NoFrame);
    panel->setAutoFillBackground(true);
    return panel;
}

namespace {

QLabel* NewPicture(QWidget* parent, const char* name) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(QString::fromLatin1(name));
    picture->setMouseTracking(true);
    return picture;
}

QToolButton* NewSpeedButton(QWidget* parent, const char* name, int x, int y, int size) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoRaise(true);
    button->setGeometry(x, y, size, size);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

TFMain::TFMain(QWidget* parent) : TFMain(ProgramState{}, parent) {}

TFMain::TFMain(ProgramState state, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), State(std::move(state)) {
    setObjectName(QStringLiteral("FMain"));
    setWindowTitle(QStringLiteral("Главное"));
    setAcceptDrops(true);
    resize(643, 437);
    // Never smaller than the smallest window the resize rules make (370 x 100). The children's
    // own minimums below fit into that, so the grip and the exit picture stay inside.
    setMinimumSize(370, 100);
    setWindowIcon(QIcon(ApplicationIcon()));

    CreateControls();
    CreateMenus();
    CreateControllers();

    // A damaged settings file is reported, and the program starts with what was read.
    try {
        Settings->LoadSettings();
    } catch (const std::exception& error) {
        platform::ReportError(State, QString::fromUtf8(error.what()));
    }
    FolderTree->BuildDriveTree();
    State.IconClickAction = [this](TIconRes& record) { ShowInStatus(record); };

    // The idle handler: called whenever the event loop is about to wait for events; the 50 ms
    // timer guarantees that this happens at least 20 times a second while otherwise idle.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            [this] {
                if (!State.Scanning && !State.Closing)
                    PictureCache->PrefetchIcons();
            });
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);
    Timer1->start();

    // Every panel starts black and bare; the skin gives them their colours.
    for (QFrame* panel : findChildren<QFrame*>()) {
        if (panel->metaObject() != &QFrame::staticMetaObject)
            continue;
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, Qt::black);
        panel->setPalette(palette);
    }
    Skin = new TSkin(State, {this,         Panel_Right, Panel1,       Panel_title,  Panel_opt,
                             Panel_scan,   Panel_top,   Panel_bottom, PanelIconBox, Splitter1,
                             FATView,      IconBox,     StatusLabel,  Image7,       Image_opt,
                             Image_scan,   Image_tools, Image_exit,   Image_resize, Image_about,
                             Image_www,    Image2,      SpeedButton2, SpeedButton3, SpeedButton4,
                             SpeedButton5, sb_max,      SB_Min,       maskmenu,     Loadtheme1,
                             Defaulttheme},
                     this);
    Chrome = new TChrome(
        State, *Skin, {this,        Panel_Right, PanelFiles,   Panel_title, Panel_opt, Panel_tools,
                       Panel_scan,  Panelresize, Panel_top,    Image7,      Image_opt, Image_scan,
                       Image_tools, Image_exit,  Image_resize, Image_about, Image_www, sb_max,
                       SB_Min,      FATView,     IconBox,      maskmenu},
        this);
    connect(sb_max, &QToolButton::clicked, Chrome, &TChrome::sb_maxClick);
    connect(SB_Min, &QToolButton::clicked, Chrome, &TChrome::SB_MinClick);
    connect(Splitter1, &QSplitter::splitterMoved, Chrome, &TChrome::Splitter1Moved);
    qApp->installEventFilter(this);
    ExportActions = new TExportActions(
        State, *PictureCache,
        {this,
         IconBox,
         c4b,
         c8b,
         c16b,
         c24b,
         cbmp,
         Copytoclipboard1,
         Wallpapercenter,
         Wallpapertiled,
         SpeedButton2,
         SpeedButton3,
         SpeedButton4,
         SpeedButton5,
         c32b,
         IconProperties1,
         SaveGroup1,
         SavePng1,
         SaveFileIcons1,
         SaveAllIcons1,
         StatusLabel},
        [this](TIconRes& record) { ShowInStatus(record); }, this);
}

TFMain::~TFMain() {
    qApp->removeEventFilter(this);
    State.Closing = true;
}

// The controllers the settings and the folder tree need while the window is being built; the
// skin, the chrome and the export actions follow once the panels have their first colours.
void TFMain::CreateControllers() {
    PictureCache = new TPictureCache(State, IconBox, this);
    FolderTree = new TFolderTree(State, FATView, FATImgList, this);
    IconBox->HashRecord = [this](TIconRes& record) { PictureCache->HashRecord(record); };
    connect(IconBox, &TIconBox::ViewChanged, PictureCache, &TPictureCache::ReleaseHidden);
    connect(IconBox, &TIconBox::IconSizeChanged, this, &TFMain::PanelIconBoxResize);
    Scanner = new TScanner(State, *FolderTree, *PictureCache,
                           {FATView, IconBox, im1, im2, im3, im4, im5, im6, subfolders1}, this);
    Settings = new TSettings(
        State, {this, subfolders1, IconBox, PanelFiles, Splitter1},
        [this] { return Chrome->NormalBounds(); }, this);
    connect(FolderTree, &TFolderTree::StatusText, this, &TFMain::ShowStatus);
    connect(Scanner, &TScanner::StatusText, this, &TFMain::ShowStatus);
    connect(Scanner, &TScanner::ScanEnded, this, [this] {
        if (statusQueued_)
            UpdateStatusLabel();
    });
    connect(Scanner, &TScanner::RepaintRequested, this, [this] { repaint(); });
    connect(FolderTree, &TFolderTree::ScanRequested, this, [this] {
        Scanner->TBClearClick();
        Scanner->TBScanClick();
    });
}

void TFMain::CreateControls() {
    auto* windowLayout = new QHBoxLayout(this);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->setSpacing(0);

    Panel_Right = NewPanel(this, "Panel_Right");
    Panel_Right->setFixedWidth(8);
    PanelMain = NewPanel(this, "PanelMain");
    Panel1 = NewPanel(this, "Panel1");
    Panel1->setFixedWidth(1);
    windowLayout->addWidget(Panel_Right);
    windowLayout->addWidget(PanelMain, 1);
    windowLayout->addWidget(Panel1);

    auto* mainLayout = new QHBoxLayout(PanelMain);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Horizontal, PanelMain);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(2);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setStyleSheet(QStringLiteral("QSplitter::handle { background: #5B5B5B; }"));
    mainLayout->addWidget(Splitter1);

    // The grid pane (left, fills).
    PanelIconBox = NewPanel(Splitter1, "PanelIconBox");
    auto* gridLayout = new QVBoxLayout(PanelIconBox);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->setSpacing(0);
    Panel_top = NewPanel(PanelIconBox, "Panel_top");
    Panel_top->setFixedHeight(24);
    Panel_top->setMouseTracking(true);
    StatusLabel = new QLabel(Panel_top);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    StatusLabel->move(4, 4);
    StatusLabel->setStyleSheet(QStringLiteral("color: silver; background: transparent;"));
    StatusLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    Image_about = NewPicture(Panel_top, "Image_about");
    Image_about->setFixedSize(16, 16);
    Image_about->setToolTip(QStringLiteral("О программе"));
    Image_about->setCursor(Qt::PointingHandCursor);
    Image_www = NewPicture(Panel_top, "Image_www");
    Image_www->setFixedSize(16, 16);
    Image_www->setToolTip(QStringLiteral("Интернет-сайт"));
    Image_www->setCursor(Qt::PointingHandCursor);

    auto* gridArea = new QWidget(PanelIconBox);
    auto* stack = new QGridLayout(gridArea);
    stack->setContentsMargins(0, 0, 0, 0);
    Image2 = NewPicture(gridArea, "Image2");
    Image2->setAlignment(Qt::AlignCenter);
    // The logo and the grid are cut off rather than hold the window open at their natural size.
    Image2->setMinimumSize(1, 1);
    IconBox = new TIconBox(gridArea);
    IconBox->setObjectName(QStringLiteral("IconBox"));
    IconBox->setMinimumSize(1, 1);
    IconBox->SetColumns(9);
    IconBox->SetColor(0xFFFFFF);
    IconBox->setMouseTracking(true);
    IconBox->viewport()->setMouseTracking(true);
    IconBox->DrawItem = [this](QPainter& painter, int index, const QRect& rect, bool selected) {
        IconBoxDrawItem(painter, index, rect, selected);
    };
    connect(IconBox, &TIconBox::Clicked, this, &TFMain::IconClick);
    // The grid's own resize, not its pane's: the pane's event comes before its layout has
    // given the grid the new width, and columns counted from the old width stay wrong until
    // the next resize (a maximised window kept the narrow window's columns, and back).
    connect(IconBox, &TIconBox::Resized, this, &TFMain::PanelIconBoxResize);
    stack->addWidget(Image2, 0, 0);
    stack->addWidget(IconBox, 0, 0);
    IconBox->raise();

    Panel_bottom = NewPanel(PanelIconBox, "Panel_bottom");
    Panel_bottom->setFixedHeight(8);
    gridLayout->addWidget(Panel_top);
    gridLayout->addWidget(gridArea, 1);
    gridLayout->addWidget(Panel_bottom);

    // The folder pane (right).
    PanelFiles = NewPanel(Splitter1, "PanelFiles");
    auto* filesLayout = new QVBoxLayout(PanelFiles);
    filesLayout->setContentsMargins(0, 0, 0, 0);
    filesLayout->setSpacing(0);

    Panel_title = NewPanel(PanelFiles, "Panel_title");
    Panel_title->setFixedHeight(42);
    Panel_title->setMouseTracking(true);
    Image7 = NewPicture(Panel_title, "Image7");
    Image7->setGeometry(0, 0, 210, 42);
    sb_max = NewSpeedButton(Panel_title, "sb_max", 187, 2, 18);
    SB_Min = NewSpeedButton(Panel_title, "SB_Min", 187, 22, 18);

    Panel_opt = NewPanel(PanelFiles, "Panel_opt");
    Panel_opt->setFixedHeight(10);
    Panel_opt->setMouseTracking(true);
    Image_opt = NewPicture(Panel_opt, "Image_opt");
    Image_opt->setGeometry(0, 0, 91, 10);
    Image_opt->setCursor(Qt::PointingHandCursor);

    FATView = new QTreeWidget(PanelFiles);
    FATView->setObjectName(QStringLiteral("FATView"));
    FATView->setHeaderHidden(true);
    FATView->setRootIsDecorated(false);
    FATView->setIndentation(19);
    FATView->setFrameShape(QFrame::NoFrame);
    FATView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FATView->setIconSize(QSize(35, 16));
    FATView->setSortingEnabled(true);
    FATView->sortByColumn(0, Qt::AscendingOrder);
    FATView->setMouseTracking(true);
    // The title, options strip and tool strip (90 pixels) must fit a 100-pixel window.
    FATView->setMinimumHeight(1);
    FATView->setStyleSheet(
        QStringLiteral("QTreeWidget { background: black; color: silver; }"
                       "QTreeWidget::item:selected { background: #000080; color: white; }"));

    Panel_tools = NewPanel(PanelFiles, "Panel_tools");
    Panel_tools->setFixedHeight(38);
    Panel_tools->setMouseTracking(true);
    auto* toolsLayout = new QGridLayout(Panel_tools);
    toolsLayout->setContentsMargins(0, 0, 0, 0);
    toolsLayout->setSpacing(0);
    Panel_scan = NewPanel(Panel_tools, "Panel_scan");
    Panel_scan->setFixedHeight(15);
    Image_scan = NewPicture(Panel_scan, "Image_scan");
    Image_scan->setGeometry(0, 0, 121, 15);
    Image_scan->setCursor(Qt::PointingHandCursor);
    Image_tools = NewPicture(Panel_tools, "Image_tools");
    Image_tools->setMinimumSize(1, 1);
    Panel_exit = NewPanel(Panel_tools, "Panel_exit");
    Panel_exit->setFixedWidth(29);
    Image_exit = NewPicture(Panel_exit, "Image_exit");
    Image_exit->setGeometry(0, 0, 29, 23);
    Image_exit->setToolTip(QStringLiteral("Выход"));
    Image_exit->setCursor(Qt::PointingHandCursor);
    Panelresize = NewPanel(Panel_tools, "Panelresize");
    Panelresize->setFixedWidth(14);
    Image_resize = NewPicture(Panelresize, "Image_resize");
    Image_resize->setGeometry(0, 0, 14, 23);
    Image_resize->setCursor(Qt::SizeFDiagCursor);
    toolsLayout->addWidget(Panel_scan, 0, 0, 1, 3);
    toolsLayout->addWidget(Image_tools, 1, 0);
    toolsLayout->addWidget(Panel_exit, 1, 1);
    toolsLayout->addWidget(Panelresize, 1, 2);
    toolsLayout->setColumnStretch(0, 1);
    toolsLayout->setRowStretch(1, 1);
    SpeedButton2 = NewSpeedButton(Panel_tools, "SpeedButton2", 24, 18, 19);
    SpeedButton3 = NewSpeedButton(Panel_tools, "SpeedButton3", 46, 18, 19);
    SpeedButton4 = NewSpeedButton(Panel_tools, "SpeedButton4", 68, 18, 19);
    SpeedButton5 = NewSpeedButton(Panel_tools, "SpeedButton5", 92, 18, 19);
    SpeedButton2->setToolTip(QStringLiteral("Обои по центру"));
    SpeedButton3->setToolTip(QStringLiteral("Обои замостить"));
    SpeedButton4->setToolTip(QStringLiteral("Копировать"));
    SpeedButton5->setToolTip(QStringLiteral("Сохранить"));
    for (QToolButton* button : {SpeedButton2, SpeedButton3, SpeedButton4, SpeedButton5}) {
        button->setCheckable(true);
        button->raise();
    }
    // The splitter may narrow the folder pane only down to its tool strip: the four buttons,
    // the exit picture and the grip side by side, so the last two cannot be pushed out of it.
    PanelFiles->setMinimumWidth(SpeedButton5->geometry().right() + 1 + 8 +
                                Panel_exit->minimumWidth() + Panelresize->minimumWidth());

    filesLayout->addWidget(Panel_title);
    filesLayout->addWidget(Panel_opt);
    filesLayout->addWidget(FATView, 1);
    filesLayout->addWidget(Panel_tools);

    Splitter1->addWidget(PanelIconBox);
    Splitter1->addWidget(PanelFiles);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({width() - 210, 210});

    // The hover pictures and the surfaces around them follow the pointer without a button.
    for (QWidget* surface :
         {static_cast<QWidget*>(Panel_Right), static_cast<QWidget*>(FATView), FATView->viewport(),
          static_cast<QWidget*>(Panel_title), static_cast<QWidget*>(Panel_opt),
          static_cast<QWidget*>(Panel_tools), static_cast<QWidget*>(Image_tools),
          static_cast<QWidget*>(Panel_scan), static_cast<QWidget*>(Image_resize),
          static_cast<QWidget*>(IconBox), IconBox->viewport(), static_cast<QWidget*>(Panel_top)})
        surface->setMouseTracking(true);

    FATImgList = resources::TreeImages();
}

void TFMain::CreateMenus() {
    maskmenu = new QMenu(this);
    maskmenu->setObjectName(QStringLiteral("maskmenu"));
    Loadtheme1 = maskmenu->addMenu(QStringLiteral("Вид"));
    Loadtheme1->setObjectName(QStringLiteral("Loadtheme1"));
    Defaulttheme = Loadtheme1->addAction(QStringLiteral("Обычный"));
    Defaulttheme->setObjectName(QStringLiteral("Defaulttheme"));
    maskmenu->addSeparator();
    auto addCheck = [this](const char* name, const QString& caption, bool checked) {
        QAction* item = maskmenu->addAction(caption);
        item->setObjectName(QString::fromLatin1(name));
        item->setCheckable(true);
        item->setChecked(checked);
        return item;
    };
    im1 = addCheck("im1", QStringLiteral("Все файлы  (*.*)"), true);
    maskmenu->addSeparator();
    im2 = addCheck("im2", QStringLiteral("Библиотеки (*.DLL)"), false);
    im3 = addCheck("im3", QStringLiteral("Программы (*.EXE)"), false);
    im4 = addCheck("im4", QStringLiteral("Значки (*.ICO)"), false);
    im5 = addCheck("im5", QStringLiteral("Коллекции (*.ICL) "), false);
    im6 = addCheck("im6", QStringLiteral("Рисунки (*.BMP)"), false);
    maskmenu->addSeparator();
    subfolders1 = addCheck("subfolders1", QStringLiteral("Просмотр подкаталогов"), true);
    maskmenu->addSeparator();
    IconSizeMenu = maskmenu->addMenu(QStringLiteral("Размер значков"));
    IconSizeMenu->setObjectName(QStringLiteral("IconSizeMenu"));
    auto* sizes = new QActionGroup(IconSizeMenu);
    for (const int size : kGridIconSizes) {
        QAction* item = IconSizeMenu->addAction(QString::number(size));
        item->setObjectName(QStringLiteral("IconSize%1").arg(size));
        item->setCheckable(true);
        item->setData(size);
        sizes->addAction(item);
        connect(item, &QAction::triggered, this, [this, size] {
            IconBox->SetIconSize(size);
            PanelIconBoxResize();
        });
    }
    FoldDuplicatesItem = addCheck("FoldDuplicatesItem", QStringLiteral("Скрывать повторы"), false);
    connect(FoldDuplicatesItem, &QAction::triggered, this,
            [this](bool checked) { IconBox->SetFoldDuplicates(checked); });
    connect(maskmenu, &QMenu::aboutToShow, this, &TFMain::maskmenuPopup);
    connect(im1, &QAction::triggered, this, [this] { Scanner->im1Click(); });
    for (QAction* item : {im2, im3, im4, im5, im6}) {
        // The menu toggles the check itself; the handler owns the toggle, so undo Qt's first.
        connect(item, &QAction::triggered, this, [this, item] {
            item->setChecked(!item->isChecked());
            Scanner->imTypeClick(item);
        });
    }
    connect(subfolders1, &QAction::triggered, this, [this] {
        subfolders1->setChecked(!subfolders1->isChecked());
        Scanner->subfolders1Click();
    });

    IconActionMenu = new QMenu(this);
    IconActionMenu->setObjectName(QStringLiteral("IconActionMenu"));
    Save = IconActionMenu->addMenu(QStringLiteral("Сохранить значок как..."));
    Save->setObjectName(QStringLiteral("Save"));
    auto addItem = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* item = menu->addAction(caption);
        item->setObjectName(QString::fromLatin1(name));
        return item;
    };
    c4b = addItem(Save, "c4b", QStringLiteral("16-цветный значок"));
    c8b = addItem(Save, "c8b", QStringLiteral("256-цветный значок"));
    c16b = addItem(Save, "c16b", QStringLiteral("16-битный значок"));
    c24b = addItem(Save, "c24b", QStringLiteral("24-битный значок"));
    Save->addSeparator()->setObjectName(QStringLiteral("N4"));
    cbmp = addItem(Save, "cbmp", QStringLiteral("Рисунок"));
    Copytoclipboard1 =
        addItem(IconActionMenu, "Copytoclipboard1", QStringLiteral("Копировать в буфер"));
    IconActionMenu->addSeparator()->setObjectName(QStringLiteral("N2"));
    Wallpapercenter = addItem(IconActionMenu, "Wallpapercenter", QStringLiteral("Обои по центру"));
    Wallpapertiled = addItem(IconActionMenu, "Wallpapertiled", QStringLiteral("Обои замостить"));
    IconActionMenu->addSeparator()->setObjectName(QStringLiteral("N1"));
    Backc1 = addItem(IconActionMenu, "Backc1", QStringLiteral("Цвет фона"));
    c32b = addItem(Save, "c32b", QStringLiteral("32-битный значок"));
    N5 = IconActionMenu->addSeparator();
    N5->setObjectName(QStringLiteral("N5"));
    IconProperties1 =
        addItem(IconActionMenu, "IconProperties1", QStringLiteral("Свойства значка..."));
    SaveGroup1 =
        addItem(IconActionMenu, "SaveGroup1", QStringLiteral("Сохранить группу значков..."));
    SavePng1 = addItem(IconActionMenu, "SavePng1", QStringLiteral("Сохранить в PNG..."));
    SaveFileIcons1 =
        addItem(IconActionMenu, "SaveFileIcons1", QStringLiteral("Сохранить все значки файла..."));
    SaveAllIcons1 =
        addItem(IconActionMenu, "SaveAllIcons1", QStringLiteral("Сохранить все значки..."));
    connect(IconActionMenu, &QMenu::aboutToShow, this, &TFMain::IconActionMenuPopup);
    connect(Backc1, &QAction::triggered, this, &TFMain::Backc1Click);
    IconBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(IconBox, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { IconActionMenu->popup(IconBox->mapToGlobal(point)); });
}

void TFMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TFMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The application-wide hook is this window's event filter, installed once at creation;
    // there is nothing to re-install when the window is activated.
}

void TFMain::FormShow() {
    Skin->ApplyStartupTheme();
    Settings->LoadGridColorSetting();
    Skin->PlaceTitleButtons();
    FolderTree->FindNodeByPath(State.StartDir);
}

void TFMain::closeEvent(QCloseEvent* event) {
    FormClose();
    QWidget::closeEvent(event);
}

void TFMain::FormClose() {
    if (State.Closing)
        return;
    State.Closing = true;
    State.StopRequested = true;
    Settings->SaveSettings();
    IconBox->hide();
    FATView->hide();
    Scanner->ScannedFiles.Clear();
}

void TFMain::ShowStatus(const QString& text) {
    statusText_ = text;
    // A scan names every folder it enters, far more often than the window is painted, and
    // fitting the label to each text was much of a scan's own work: during a scan the label
    // takes the latest text at the next pump, and the last one when the scan ends.
    if (State.Scanning) {
        if (!statusQueued_) {
            statusQueued_ = true;
            QTimer::singleShot(0, this, [this] { UpdateStatusLabel(); });
        }
        return;
    }
    UpdateStatusLabel();
}

void TFMain::UpdateStatusLabel() {
    statusQueued_ = false;
    const QString& text = statusText_;
    // The about picture's left edge bounds the text, with a gap as wide as the label's margin;
    // until the skin has placed the picture (the window not shown yet) the text stays whole.
    const int room = Image_about->x() - 2 * StatusLabel->x();
    const QString shown =
        room > 0 ? StatusLabel->fontMetrics().elidedText(text, Qt::ElideMiddle, room) : text;
    StatusLabel->setText(shown);
    StatusLabel->adjustSize();
    Panel_top->setToolTip(shown == text ? QString() : text);
}

void TFMain::SBExitClick() {
    close();
}

bool TFMain::FormKeyPress(QChar key) {
    State.StopRequested = false;
    bool consumed = false;
    if (key.toLatin1() == 'A' || key.toLatin1() == 'a') {
        FATView->collapseAll();
        const int drives = FATView->topLevelItemCount();
        for (int i = 0; i < drives && !State.StopRequested && !State.Closing; ++i) {
            QTreeWidgetItem* drive = FATView->topLevelItem(i);
            FolderTree->SelectNode(drive);
            drive->setExpanded(true);
            QCoreApplication::processEvents();
            if (State.StopRequested || State.Closing)
                break;
            Scanner->TBScanClick();
            // The tree may have been cleared or sorted inside the scan's pumps.
            if (i < FATView->topLevelItemCount()) {
                QTreeWidgetItem* again = FATView->topLevelItem(i);
                QList<QTreeWidgetItem*> pending{again};
                while (!pending.isEmpty()) {
                    QTreeWidgetItem* node = pending.takeLast();
                    node->setExpanded(false);
                    for (int c = 0; c < node->childCount(); ++c)
                        pending.append(node->child(c));
                }
            }
        }
        consumed = true;
        QCoreApplication::processEvents();
    } else if (key.unicode() == 27) {
        State.StopRequested = true;
        consumed = true;
        QCoreApplication::processEvents();
    }
    State.FirstNewIndex = -1;
    return consumed;
}

void TFMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (Chrome) // a resize may arrive while the window is still being built
        Chrome->FormResize();
}

void TFMain::maskmenuPopup() {
    Scanner->maskmenuPopup();
    for (QAction* item : IconSizeMenu->actions())
        item->setChecked(item->data().toInt() == IconBox->IconSize());
    FoldDuplicatesItem->setChecked(IconBox->FoldDuplicates());
    Skin->RefreshThemeMenu();
}

void TFMain::PanelIconBoxResize() {
    IconBox->SetColumns(IconBox->width() / IconBox->ColumnPitch());
}

void TFMain::IconBoxDrawItem(QPainter& painter, int index, const QRect& rect, bool) {
    PictureCache->DrawItem(painter, index, rect);
}

void TFMain::IconClick() {
    const int index = IconBox->ItemIndex();
    if (index >= 0 && index < IconBox->Count() && State.IconClickAction)
        State.IconClickAction(IconBox->Item(index));
}

void TFMain::IconActionMenuPopup() {
    const bool selected = IconBox->ItemIndex() >= 0;
    // With no cell selected the menu holds "Цвет фона" alone, the added entries included, so
    // that a right click on an empty spot looks as it always did.
    for (QAction* entry : IconActionMenu->actions())
        if (entry != Backc1)
            entry->setVisible(selected);
}

void TFMain::Backc1Click() {
    const QColor chosen = QColorDialog::getColor(ToQColor(IconBox->Color()), this);
    if (chosen.isValid())
        IconBox->SetColor(FromQColor(chosen));
}

void TFMain::ShowInStatus(TIconRes& record) {
    const int cell = IconBox->ItemIndex();
    const bool selected = cell >= 0 && cell < IconBox->Count() && &IconBox->Item(cell) == &record;
    ShowStatus(record.FileName + ' ' + QString::number(record.IconIndex) +
               (selected ? FoldedSuffix(IconBox->OtherFilesWithSameImage(cell)) : QString()));
}

void TFMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFMain::dropEvent(QDropEvent* event) {
    QStringList names;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        // A name that no drive holds, or that a program path cannot represent, adds nothing.
        if (auto path = platform::ToProgramPath(State.Drives, url.toLocalFile().toStdString()))
            names.append(QString::fromStdString(*path));
    }
    event->acceptProposedAction();
    DropNames(names);
}

void TFMain::DropNames(const QStringList& programPaths) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor {
        ~RestoreCursor() { QApplication::restoreOverrideCursor(); }
    } restore;
    for (const QString& name : programPaths) {
        const std::string path = name.toStdString();
        // A name that cannot be read as a file is tried as a folder, as the drop rules say.
        if (platform::IsFolder(State.Drives, path) ||
            !platform::IsRegularFile(State.Drives, path)) {
            if (FolderTree->FindNodeByPath(name))
                Scanner->TBScanClick();
        } else {
            Scanner->ScanFile(nullptr, name);
        }
    }
}

bool TFMain::eventFilter(QObject* watched, QEvent* event) {
    if (State.Closing)
        return QWidget::eventFilter(watched, event);
    Chrome->AppMessage(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        // Key preview: the window sees every key typed while it is active.
        if (!isActiveWindow() || QApplication::activePopupWidget() ||
            QApplication::activeModalWidget())
            break;
        // Text typed into the grid's name filter is the filter's, keys included.
        if (QApplication::focusWidget() == IconBox->FilterLine())
            break;
        // Keys typed into another of the program's windows (the properties window) are its own:
        // without a window manager this window may still count as the active one.
        if (const auto* target = qobject_cast<QWidget*>(watched);
            target && target->window() != this)
            break;
        if (watched->isWindowType() && watched != static_cast<QObject*>(windowHandle()))
            break;
        auto* key = static_cast<QKeyEvent*>(event);
        // The window system's event first reaches the QWindow; the control's copy is the one
        // acted on, and consumed so that its parents do not act on it again.
        if (watched->isWidgetType() && key->key() == Qt::Key_F5) {
            FolderTree->RefreshSubfolders(FATView->currentItem());
            return true;
        }
        if ((watched == IconBox || watched == IconBox->viewport()) &&
            key->matches(QKeySequence::Copy)) {
            Copytoclipboard1->trigger();
            return true;
        }
        if (key->key() == Qt::Key_F1) {
            Chrome->FormKeyDown(key->key()); // the key goes on to the focused control
            break;
        }
        if (key->key() == Qt::Key_Escape) {
            if (QApplication::focusWidget() == IconBox && !IconBox->NameFilter().isEmpty())
                IconBox->HideFilter();
            if (FormKeyPress(QChar(27)))
                return true;
        } else if (!key->text().isEmpty() && !(key->modifiers() & Qt::ControlModifier)) {
            if (FormKeyPress(key->text().at(0)))
                return true;
            if (watched == FATView && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter))
                return FolderTree->FATViewKeyPress(QChar(13));
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // Events also pass through the filter for QWindow objects, which are not controls.
        auto* control = qobject_cast<QWidget*>(watched);
        if (!control || mouse->button() != Qt::LeftButton ||
            !control->rect().contains(mouse->position().toPoint()))
            break;
        if (watched == Image_scan)
            Scanner->Image_scanClick();
        else if (watched == Image_exit)
            SBExitClick();
        else if (watched == Image2)
            Scanner->TBScanClick();
        else if (watched == Image_about)
            Chrome->Image7Click();
        else if (watched == Image_www)
            Chrome->Image_wwwClick();
        break;
    }
    case QEvent::Move:
        // The skin places the about picture at the strip's right end: the status line's room
        // changed with the strip's width.
        if (watched == Image_about)
            ShowStatus(statusText_);
        break;
    case QEvent::MouseButtonPress:
        if (watched == Image_opt) {
            Chrome->Image_optMouseDown();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace glyptor
