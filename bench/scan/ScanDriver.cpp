// The window's real scanner over one folder, driven offscreen, for bench/scan/run.sh: maps the
// folder as drive T:, scans all of it with subfolders and prints the time and what was found.
//
//   scan_driver FOLDER [--threads N] [--no-index] [--fold]
//
// The scan index lives in $XDG_CACHE_HOME/Brindlow like the program's; the script decides
// whether it is empty, warm or cold.
#include "app/Umain.h"
#include "platform/core/Allocator.h"
#include "platform/core/Drives.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

using namespace glyptor;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: scan_driver FOLDER [--threads N] [--no-index] [--fold]\n");
        return 2;
    }
    platform::KeepFreedMemory(); // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ProgramState state;
    state.Drives.Set(
        {{"C:\\", platform::DriveFixed, "/"}, {"T:\\", platform::DriveFixed, argv[1]}});
    TFMain window(std::move(state));
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            window.State.ScanReaderThreads = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--no-index") == 0)
            window.State.ScanIndex = false;
        else if (std::strcmp(argv[i], "--fold") == 0)
            window.IconBox->SetFoldDuplicates(true);
    }
    window.resize(800, 500);
    window.show();
    window.FATView->setCurrentItem(window.FATView->topLevelItem(1));
    window.State.ScanSubfolders = true;
    window.TBClearClick();
    // Processor time besides the wall time: the window's thread, and every thread of the scan.
    const auto cpu = [](clockid_t clock) {
        timespec t{};
        clock_gettime(clock, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    };
    const double windowStart = cpu(CLOCK_THREAD_CPUTIME_ID);
    const double processStart = cpu(CLOCK_PROCESS_CPUTIME_ID);
    QElapsedTimer timer;
    timer.start();
    window.TBScanClick();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::fprintf(stderr, "processor: window thread %.3f s, all threads %.3f s\n",
                 cpu(CLOCK_THREAD_CPUTIME_ID) - windowStart,
                 cpu(CLOCK_PROCESS_CPUTIME_ID) - processStart);
    std::printf("scan: %d files with icons, %d icons (%d cells) in %.3f s\n",
                window.Scanner->ScannedFiles.Count(), window.IconBox->RecordCount(),
                window.IconBox->Count(), seconds);
    return 0;
}
