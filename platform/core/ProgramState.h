// The program-wide state of the window and its subsystems: the values every room reads or
// changes (cache bounds, type filter, scan flags, the click action ...), kept under their own
// names in one object that the window owns and hands to each controller by reference. Nothing
// else in the program holds mutable state at namespace level, so each window (and each test)
// starts from the defaults below.
#pragma once

#include "platform/core/Drives.h"
#include "platform/core/System.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>

class QTreeWidgetItem;

namespace glyptor {

struct TIconRes;
class TAbout;

// What a click on a grid icon does; the tool buttons replace it.
using IconAction = std::function<void(TIconRes&)>;

struct ProgramState {
    // The throttled pump: events are processed at most once per PumpInterval milliseconds of
    // TickSource, which tests replace to control time.
    std::uint32_t PumpInterval = 300;
    std::uint32_t LastPumpTick = 0;
    std::function<std::uint32_t()> TickSource = [] { return platform::TickCount(); };

    // The picture cache: pictures loaded from files, and the marks that trim it.
    int MaxCash = 3000;
    int MinCash = 2000;
    int LoadedPictureCount = 0;

    // The scanner: type filter (".DLL.EXE", empty for all files) and how far a scan goes.
    QString ExtMask;
    bool ScanSubfolders = true;
    bool ShallowScan = false;
    bool Scanning = false;
    bool StopRequested = false;
    int IconTotal = 0;
    // The first record the running scan added, shown when it ends; -1 after a key command.
    int FirstNewIndex = 0;
    // Reader threads that count files ahead of the scan (0: chosen from the cores; 1: the
    // window's thread counts each file itself), and the persistent scan index with its cap.
    int ScanReaderThreads = 0;
    bool ScanIndex = true;
    int ScanIndexMaxMB = 64;

    // The folder tree: the selected folder, the start folder, and the node scanned last (a
    // click on it again does not scan again). Nodes live as long as the window.
    QString CurrentDir;
    // The drive letters every program path goes through: the running system's mounts and the
    // `Drives` settings section, read when a path is first translated.
    platform::DriveTable Drives;
    QString StartDir = QStringLiteral("C:");
    QTreeWidgetItem* LastScannedNode = nullptr;

    // The skin: "default" or the program path of a theme archive. The program folder holds
    // the themes' "interface" folder; empty means the folder of the running program.
    QString Theme = QStringLiteral("default");
    QString ProgramFolderOverride;

    IconAction IconClickAction;
    TAbout* About = nullptr; // not owned
    // Set once the window closes: long loops stop and no control is shown again.
    bool Closing = false;

    // The general error report and the opener of help and web pages (see platform/ui's
    // ReportError and OpenUrl): empty means the message box and the desktop's handler. Tests
    // put recorders here, in the state they give the window.
    std::function<void(const QString&)> ErrorReporter;
    std::function<void(const QUrl&)> UrlOpener;
    // The help file name set at start ("glyptor.hlp").
    QString HelpFile;
};

// Processes pending events when more than PumpInterval has passed since the last time; the
// scanner calls it between directory entries to keep the window alive.
void PumpMessages(ProgramState& state);

} // namespace glyptor
