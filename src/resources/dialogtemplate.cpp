#include "resources/dialogtemplate.h"

#include "resources/findbyid.h"

#include <array>

namespace res {
namespace {

using namespace style;

constexpr std::array kConsoleControls{
    ControlTemplate{IDC_CONSOLE_LIST, ControlClass::ListBox, "", VScroll, 1, 2, 342, 72},
    ControlTemplate{IDC_CONSOLE_CLEAR, ControlClass::Button, "Clear", 0, 1, 74, 50, 11},
    ControlTemplate{IDC_CONSOLE_HIDE, ControlClass::Button, "Hide", 0, 52, 74, 50, 11},
};

constexpr std::array kProgressControls{
    ControlTemplate{IDC_PROGRESS_BAR, ControlClass::ProgressBar, "", 0, 5, 5, 305, 6},
    ControlTemplate{IDC_PROGRESS_ELAPSED, ControlClass::Static, "", StaticEdge, 5, 13, 83, 10},
    ControlTemplate{IDC_PROGRESS_ESTIMATE, ControlClass::Static, "", StaticEdge, 90, 13, 188, 10},
    ControlTemplate{IDC_PROGRESS_PERCENT, ControlClass::Static, "", StaticEdge, 279, 13, 31, 10},
};

constexpr FontSpec kDialogFont{"MS Shell Dlg", 8};

constexpr std::uint64_t kEdge = StaticEdge;
constexpr std::uint64_t kLabel = StaticEdge | CenterText;

constexpr std::array kMainControls{
    ControlTemplate{IDC_PROJECT_LIST, ControlClass::ListView, "", SunkenEdge, 108, 35, 161, 278},
    ControlTemplate{IDC_FILE_LIST, ControlClass::ListView, "", SunkenEdge, 272, 112, 281, 190},
    ControlTemplate{IDC_HARDWARE_TOOL, ControlClass::Button, "Hardware Tool", kEdge, 2, 3, 102, 12},
    ControlTemplate{IDC_SUMMARY_LIST, ControlClass::ListView, "", NoScroll | Disabled, 108, 3, 161,
                    31},
    ControlTemplate{IDC_SCAN, ControlClass::Button, "Scan!", kEdge | DefaultButton, 2, 242, 102,
                    25},
    ControlTemplate{IDC_FILE_COUNT, ControlClass::Static, "", kLabel, 272, 85, 138, 19},
    ControlTemplate{IDC_LABEL_F8, ControlClass::Static, "F8 - delete", kLabel, 488, 303, 54, 10},
    ControlTemplate{IDC_LABEL_F6, ControlClass::Static, "F6 - move", kLabel, 434, 303, 54, 10},
    ControlTemplate{IDC_SELECTION_SUMMARY, ControlClass::Static, "", kLabel, 411, 85, 142, 19},
    ControlTemplate{IDC_LABEL_F5, ControlClass::Static, "F5 - copy", kLabel, 380, 303, 54, 10},
    ControlTemplate{IDC_INFO_LIST, ControlClass::ListView, "", 0, 377, 3, 176, 79},
    ControlTemplate{IDC_PICTURE, ControlClass::Static, "", GrayRect, 271, 2, 104, 75},
    ControlTemplate{IDC_DATABASE_TREE, ControlClass::TreeView, "", CheckBoxes | SunkenEdge, 2, 46,
                    101, 194},
    ControlTemplate{IDC_SELECT_ALL, ControlClass::Button, "Select All", kEdge, 2, 36, 51, 10},
    ControlTemplate{IDC_DESELECT_ALL, ControlClass::Button, "Deselect All", kEdge, 54, 36, 50, 10},
    ControlTemplate{IDC_LABEL_F2, ControlClass::Static, "F2 - Scan Media", kLabel, 272, 303, 54,
                    10},
    ControlTemplate{IDC_SCAN_FOLDER, ControlClass::Button, "Scan Media Folder...", kEdge, 2, 266,
                    102, 12},
    ControlTemplate{IDC_SCAN_BIN, ControlClass::Button, "Scan AVID Bin...", kEdge, 2, 278, 102, 12},
    ControlTemplate{IDC_LABEL_F4, ControlClass::Static, "F4 - Store...", kLabel, 326, 303, 54, 10},
    ControlTemplate{IDC_FRAME_SLIDER, ControlClass::TrackBar, "", 0, 271, 79, 105, 6},
    ControlTemplate{IDC_DELETE_DATABASES, ControlClass::Button, "Delete selected databases", kEdge,
                    2, 301, 101, 12},
    ControlTemplate{IDC_REFRESH, ControlClass::Button, "Refresh List", kEdge, 2, 26, 102, 10},
};

constexpr std::array kStoreControls{
    ControlTemplate{IDOK, ControlClass::Button, "Store", 0, 231, 122, 50, 14},
    ControlTemplate{IDCANCEL, ControlClass::Button, "Cancel", DefaultButton, 3, 122, 50, 14},
    ControlTemplate{IDC_STORE_RELATIVE, ControlClass::CheckBox, "Store Relative Paths", 0, 6, 34,
                    130, 20},
    ControlTemplate{IDC_STORE_TARGET, ControlClass::Edit, "", 0, 6, 17, 213, 12},
    ControlTemplate{IDC_STATIC, ControlClass::GroupBox, "Target Folder", 0, 3, 7, 278, 26},
    ControlTemplate{IDC_STORE_SELECT, ControlClass::Button, "Select", 0, 225, 17, 52, 12},
    ControlTemplate{IDC_STORE_MOVE, ControlClass::CheckBox,
                    "Move Files   (all mediafiles will be moved to the target folder)", 0, 5, 99,
                    274, 16},
    ControlTemplate{IDC_STORE_BY_TYPE, ControlClass::CheckBox,
                    "Store MXF and OMF media separately\n(OMFI Mediafiles and Avid Mediafiles "
                    "folders will be created in the  target folder)",
                    0, 5, 56, 274, 20},
    ControlTemplate{IDC_STORE_DRIVE, ControlClass::CheckBox, "Add drive letter to relative path", 0,
                    137, 34, 142, 20},
    ControlTemplate{IDC_STATIC, ControlClass::Static,
                    "If nothing is checked - folders with project names will be created in the "
                    "target folder",
                    0, 6, 82, 273, 12},
};

constexpr std::array kAboutControls{
    ControlTemplate{IDC_STATIC, ControlClass::Icon, "5", 0, 11, 17, 20, 20},
    ControlTemplate{IDC_STATIC, ControlClass::Static, "Tolvane for AVID applications", 0, 39, 11,
                    150, 10},
    ControlTemplate{IDC_STATIC, ControlClass::Static, "by the Tolvane developers", 0, 40, 25, 135,
                    19},
    ControlTemplate{IDOK, ControlClass::Button, "OK", DefaultButton, 158, 50, 45, 12},
};

constexpr std::array kOmfInfoControls{
    ControlTemplate{IDC_OMF_TREE, ControlClass::TreeView, "", StaticEdge, 1, 1, 392, 260},
    ControlTemplate{IDC_OMF_OPEN, ControlClass::Button, "open", 0, 397, 1, 50, 18},
    ControlTemplate{IDC_OMF_SHOW_CONSOLE, ControlClass::Button, "Show console", 0, 397, 21, 50, 18},
    ControlTemplate{IDOK, ControlClass::Button, "OK", DefaultButton, 397, 251, 50, 10},
};

constexpr std::array kHistoryControls{
    ControlTemplate{IDC_STATIC, ControlClass::Static, "Find:", 0, 3, 5, 22, 10},
    ControlTemplate{IDC_HISTORY_FIND, ControlClass::Edit, "", 0, 26, 3, 200, 12},
    ControlTemplate{IDC_HISTORY_COUNT, ControlClass::Static, "", 0, 232, 5, 150, 10},
    ControlTemplate{IDC_HISTORY_LIST, ControlClass::ListView, "", SunkenEdge, 3, 18, 554, 222},
    ControlTemplate{IDC_HISTORY_EXPORT, ControlClass::Button, "Export...", 0, 3, 244, 60, 14},
    ControlTemplate{IDOK, ControlClass::Button, "Close", DefaultButton, 497, 244, 60, 14},
};

// One line above the media file list, as wide as the list's template.
constexpr std::array kFindBarControls{
    ControlTemplate{IDC_STATIC, ControlClass::Static, "Find:", 0, 1, 3, 19, 9},
    ControlTemplate{IDC_FIND_TEXT, ControlClass::Edit, "", 0, 21, 1, 150, 12},
    ControlTemplate{IDC_STATIC, ControlClass::Static, "Show:", 0, 177, 3, 21, 9},
    ControlTemplate{IDC_FIND_STATUS, ControlClass::ComboBox, "All\nMissing\nLocked\nUnreferenced",
                    0, 199, 1, 82, 12},
};

constexpr std::array kWorkingControls{
    ControlTemplate{IDC_STATIC, ControlClass::Static, "WORKING...", 0, 1, 1, 47, 8},
};

constexpr std::array kDialogs{
    DialogTemplate{IDD_MAIN, "Tolvane for AVID applications", kDialogFont,
                   Caption | SysMenu | SizingBorder | MinimizeBox | MaximizeBox, 0, 0, 556, 318,
                   kMainControls},
    DialogTemplate{IDD_WORKING,
                   "Tolvane",
                   {"Microsoft Sans Serif", 18},
                   Caption | Centered | Topmost,
                   0,
                   0,
                   49,
                   11,
                   kWorkingControls},
    DialogTemplate{IDD_STORE, "Store media .....", kDialogFont, Caption | SysMenu | Centered, 0, 0,
                   284, 140, kStoreControls},
    DialogTemplate{IDD_HARDWARE_TOOL,
                   "Hardware Tool  (press ESC to close)",
                   {"MS Sans Serif", 8},
                   Caption | SysMenu,
                   0,
                   0,
                   9,
                   7,
                   {}},
    DialogTemplate{IDD_OMF_INFO, "OMFI info ...under development...", kDialogFont,
                   Caption | SysMenu | Centered, 0, 0, 448, 262, kOmfInfoControls},
    DialogTemplate{IDD_HISTORY, "Operation History", kDialogFont, Caption | SysMenu | Centered, 0,
                   0, 560, 261, kHistoryControls},
    DialogTemplate{IDD_ABOUT, "About Tolvane...", kDialogFont, Caption | SysMenu | Centered, 0, 0,
                   207, 65, kAboutControls},
    DialogTemplate{IDD_FIND_BAR, "Find", kDialogFont, Child, 0, 0, 281, 14, kFindBarControls},
    DialogTemplate{IDD_PROGRESS, "Please Wait ...", kDialogFont, Caption | Centered, 0, 0, 315, 28,
                   kProgressControls},
    DialogTemplate{IDD_CONSOLE,
                   "Debug Console",
                   {"Courier New", 9},
                   Caption | SizingBorder,
                   2,
                   2,
                   346,
                   88,
                   kConsoleControls},
};

} // namespace

const ControlTemplate* DialogTemplate::Control(int controlId) const {
    for (const ControlTemplate& c : controls) {
        if (c.id == controlId)
            return &c;
    }
    return nullptr;
}

const DialogTemplate* FindDialogTemplate(int id) {
    return FindById(kDialogs, id);
}

std::span<const DialogTemplate> DialogTemplates() {
    return kDialogs;
}

} // namespace res
