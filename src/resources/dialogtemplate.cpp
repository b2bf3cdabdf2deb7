#include "resources/dialogtemplate.h"

#include <array>

namespace res {
namespace {

using namespace style;

constexpr std::array kConsoleControls{
    ControlTemplate{IDC_CONSOLE_LIST, ControlClass::ListBox, "",
                    VScroll | Border | NoIntegralHeight, 1, 2, 342, 72},
    ControlTemplate{IDC_CONSOLE_CLEAR, ControlClass::Button, "Clear", 0, 1, 74, 50, 11},
    ControlTemplate{IDC_CONSOLE_HIDE, ControlClass::Button, "Hide", 0, 52, 74, 50, 11},
};

constexpr std::array kProgressControls{
    ControlTemplate{IDC_PROGRESS_BAR, ControlClass::ProgressBar, "", Smooth, 5, 5, 305, 6},
    ControlTemplate{IDC_PROGRESS_ELAPSED, ControlClass::Static, "", StaticEdge, 5, 13, 83, 10},
    ControlTemplate{IDC_PROGRESS_ESTIMATE, ControlClass::Static, "", StaticEdge, 90, 13, 188, 10},
    ControlTemplate{IDC_PROGRESS_PERCENT, ControlClass::Static, "", StaticEdge, 279, 13, 31, 10},
};

constexpr FontSpec kDialogFont{"MS Shell Dlg", 8};

constexpr std::array kDialogs{
    DialogTemplate{IDD_PROGRESS, "Please Wait ...", kDialogFont,
                   Popup | Caption | Centered | Foreground | ToolWindow, 0, 0, 315, 28,
                   kProgressControls},
    DialogTemplate{IDD_CONSOLE,
                   "Debug Console",
                   {"Courier New", 9},
                   Caption | SizingBorder | ToolWindow | AppWindow,
                   2,
                   2,
                   346,
                   88,
                   kConsoleControls},
};

} // namespace

const ControlTemplate* DialogTemplate::control(int controlId) const {
    for (const ControlTemplate& c : controls) {
        if (c.id == controlId)
            return &c;
    }
    return nullptr;
}

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& d : kDialogs) {
        if (d.id == id)
            return &d;
    }
    return nullptr;
}

} // namespace res
