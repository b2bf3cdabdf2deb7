#pragma once
// Menus and accelerator tables held as data.

#include <cstdint>
#include <span>

namespace res {

// Command ids of menu items, buttons and accelerators.
inline constexpr int ID_APP_ABOUT = 16;
inline constexpr int ID_ADD_DATABASE = 32800;
inline constexpr int ID_SCAN = 32801;
inline constexpr int ID_EXIT = 32802;
inline constexpr int ID_SHOW_CONSOLE = 32803;
inline constexpr int ID_VERIFY_FILES = 32804;
inline constexpr int ID_HARDWARE_TOOL = 32805;
inline constexpr int ID_COPY_FILES = 32808;
inline constexpr int ID_MOVE_FILES = 32809;
inline constexpr int ID_DELETE_FILES = 32810;
inline constexpr int ID_COPY_PATH = 32812;
inline constexpr int ID_CONFIRM_DELETE = 32813;
inline constexpr int ID_CONFIRM_MOVE = 32814;
inline constexpr int ID_SELECT_ALL_ROWS = 32815;
inline constexpr int ID_SHOW_OMF_INFO = 32819;
inline constexpr int ID_OMF_INFO_TOOL = 32820;
inline constexpr int ID_SCAN_FOLDER = 32821;
inline constexpr int ID_STORE_PROJECTS = 32822;
inline constexpr int ID_DELETE_PROJECT_MEDIA = 32823;
inline constexpr int ID_PROJECT_STATISTICS = 32826;
inline constexpr int ID_READ_MXF = 32827;
inline constexpr int ID_EXPORT_MEDIA_LIST = 32828;
inline constexpr int ID_EXPORT_PROJECT_LIST = 32829;
inline constexpr int ID_FIND_DUPLICATES = 32835;
inline constexpr int ID_OPERATION_HISTORY = 32840;
inline constexpr int ID_FIND = 32830;

inline constexpr int IDR_MAIN_MENU = 136;
inline constexpr int IDR_CONTEXT_MENUS = 139;
inline constexpr int IDR_ACCELERATORS = 140;
// Keys of the main window alone: the sortable lists pass them on.
inline constexpr int IDR_WINDOW_ACCELERATORS = 141;

namespace menu {
inline constexpr std::uint32_t Separator = 1u << 0;
inline constexpr std::uint32_t Checked = 1u << 1;
inline constexpr std::uint32_t Grayed = 1u << 2;
inline constexpr std::uint32_t RightAligned = 1u << 3;
} // namespace menu

struct MenuItem {
    const char* text; // "\t" separates the shortcut text
    int command;      // 0 for pop-ups and separators
    std::uint32_t flags;
    std::span<const MenuItem> children; // a pop-up's items
};

struct MenuTemplate {
    int id;
    std::span<const MenuItem> items;
};

const MenuTemplate* FindMenu(int id);

struct Accelerator {
    int key; // the letter, upper case
    bool control;
    int command;
};

std::span<const Accelerator> FindAccelerators(int id);

} // namespace res
