#pragma once
// Window templates held as data: every window of the program is built from
// one of these, so its numbered controls exist before any code runs and can be
// found by id. Positions and sizes are dialog units of the template's font.

#include <cstdint>
#include <span>

namespace res {

enum class ControlClass {
    Button,
    Static,
    ListBox,
    ListView,
    TreeView,
    TrackBar,
    ProgressBar,
    CheckBox,
    Edit,
    GroupBox,
    Icon,     // text: the icon group's number
    ComboBox, // text: the choices, one a line
};

// Style bits that change how a window or control is built or behaves.
namespace style {
// windows
inline constexpr std::uint64_t Caption = 1ull << 0;
inline constexpr std::uint64_t SysMenu = 1ull << 1;
inline constexpr std::uint64_t SizingBorder = 1ull << 2;
inline constexpr std::uint64_t MinimizeBox = 1ull << 3;
inline constexpr std::uint64_t MaximizeBox = 1ull << 4;
inline constexpr std::uint64_t Centered = 1ull << 5;
inline constexpr std::uint64_t Topmost = 1ull << 6;
// A part of another window rather than a window: its parent places it.
inline constexpr std::uint64_t Child = 1ull << 7;
// controls
inline constexpr std::uint64_t VScroll = 1ull << 16;
inline constexpr std::uint64_t StaticEdge = 1ull << 17;
inline constexpr std::uint64_t SunkenEdge = 1ull << 18;
inline constexpr std::uint64_t DefaultButton = 1ull << 19;
inline constexpr std::uint64_t CenterText = 1ull << 20;
inline constexpr std::uint64_t Disabled = 1ull << 21;
inline constexpr std::uint64_t NoScroll = 1ull << 22;
// A tree whose items carry check marks: a view over a model that owns them.
inline constexpr std::uint64_t CheckBoxes = 1ull << 23;
inline constexpr std::uint64_t GrayRect = 1ull << 24;
} // namespace style

struct ControlTemplate {
    int id;
    ControlClass cls;
    const char* text;
    std::uint64_t style;
    int x, y, cx, cy;
};

struct FontSpec {
    const char* face;
    int pointSize;
};

struct DialogTemplate {
    int id;
    const char* title;
    FontSpec font;
    std::uint64_t style;
    int x, y, cx, cy;
    std::span<const ControlTemplate> controls;

    const ControlTemplate* Control(int controlId) const;
};

// The template with that id, or null when the program has none.
const DialogTemplate* FindDialogTemplate(int id);
// Every template of the program.
std::span<const DialogTemplate> DialogTemplates();

// Template ids.
inline constexpr int IDD_MAIN = 129;
inline constexpr int IDD_PROGRESS = 130;
inline constexpr int IDD_WORKING = 133;
inline constexpr int IDD_CONSOLE = 136;
inline constexpr int IDD_STORE = 143;
inline constexpr int IDD_HARDWARE_TOOL = 135;
inline constexpr int IDD_ABOUT = 100;
inline constexpr int IDD_OMF_INFO = 103;
inline constexpr int IDD_HISTORY = 151;
inline constexpr int IDD_FIND_BAR = 150;

// Control ids. Each names one control of one window; only IDOK, IDCANCEL
// and IDC_STATIC (controls that are never looked up) stand in several.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;
// progress window
inline constexpr int IDC_PROGRESS_BAR = 1001;
inline constexpr int IDC_PROGRESS_PERCENT = 1002;
inline constexpr int IDC_PROGRESS_ESTIMATE = 1003;
inline constexpr int IDC_PROGRESS_ELAPSED = 1004;
// main window
inline constexpr int IDC_PROJECT_LIST = 1005;
inline constexpr int IDC_FILE_LIST = 1006;
inline constexpr int IDC_INFO_LIST = 1008;
inline constexpr int IDC_HARDWARE_TOOL = 1010;
inline constexpr int IDC_SCAN = 1011;
inline constexpr int IDC_SCAN_FOLDER = 1012;
inline constexpr int IDC_SUMMARY_LIST = 1013;
inline constexpr int IDC_SCAN_BIN = 1014;
inline constexpr int IDC_DATABASE_TREE = 1016;
inline constexpr int IDC_SELECT_ALL = 1018;
inline constexpr int IDC_DESELECT_ALL = 1019;
inline constexpr int IDC_LABEL_F5 = 1020;
inline constexpr int IDC_LABEL_F6 = 1021;
inline constexpr int IDC_LABEL_F8 = 1022;
inline constexpr int IDC_DELETE_DATABASES = 1023;
inline constexpr int IDC_LABEL_F2 = 1024;
inline constexpr int IDC_LABEL_F4 = 1025;
inline constexpr int IDC_REFRESH = 1026;
inline constexpr int IDC_FRAME_SLIDER = 1030;
inline constexpr int IDC_PICTURE = 1031;
inline constexpr int IDC_FILE_COUNT = 1033;
inline constexpr int IDC_SELECTION_SUMMARY = 1037;
// debug console
inline constexpr int IDC_CONSOLE_LIST = 1039;
inline constexpr int IDC_CONSOLE_CLEAR = 1040;
inline constexpr int IDC_CONSOLE_HIDE = 1041;
// store window
inline constexpr int IDC_STORE_RELATIVE = 1050;
inline constexpr int IDC_STORE_TARGET = 1051;
inline constexpr int IDC_STORE_SELECT = 1052;
inline constexpr int IDC_STORE_MOVE = 1053;
inline constexpr int IDC_STORE_BY_TYPE = 1054;
inline constexpr int IDC_STORE_DRIVE = 1055;
// OMF information window
inline constexpr int IDC_OMF_OPEN = 1060;
inline constexpr int IDC_OMF_SHOW_CONSOLE = 1061;
inline constexpr int IDC_OMF_TREE = 1062;
// operation history window
inline constexpr int IDC_HISTORY_FIND = 1100;
inline constexpr int IDC_HISTORY_COUNT = 1101;
inline constexpr int IDC_HISTORY_LIST = 1102;
inline constexpr int IDC_HISTORY_EXPORT = 1103;
// find bar of the main window
inline constexpr int IDC_FIND_TEXT = 1070;
inline constexpr int IDC_FIND_STATUS = 1071;
// The first drive bar of the hardware tool; one more per row.
inline constexpr int IDC_DRIVE_BAR_FIRST = 10285;

} // namespace res
