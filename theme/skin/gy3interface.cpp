// The skin of the window: the built-in look and the themes read from theme archives.
// (The built-in look is a plain one until the skin pictures join.)
#include "app/Umain.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>

namespace glyptor {

void TFMain::ApplyDefaultTheme() {
    for (QFrame* panel : {Panel_Right, Panel_title, Panel_opt, Panel_tools, Panel_scan, Panel_top,
                          Panel_bottom, Panel1, PanelIconBox, Panel_exit, Panelresize}) {
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, QColor(0x20, 0x20, 0x28));
        panel->setPalette(palette);
    }
    IconBox->SetColor(0);
    Image2->setPixmap(ApplicationIcon());
}

void TFMain::ApplyThemeFile(const QString&) {
    ApplyDefaultTheme();
}

void TFMain::PlaceTitleButtons() {
    const int left = PanelFiles->width() - 23;
    sb_max->move(left, 2);
    SB_Min->move(left, 22);
    Image7->resize(PanelFiles->width(), Panel_title->height());
    Image_www->move(Panel_top->width() - 20, 4);
    Image_about->move(Panel_top->width() - 40, 4);
}

void TFMain::RefreshThemeMenu() {}

} // namespace glyptor
