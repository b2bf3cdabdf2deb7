#include "resources/menus.h"

#include "resources/findbyid.h"

#include <array>

namespace res {
namespace {

using namespace menu;

constexpr std::array kFileMenu{
    MenuItem{"SCAN!", ID_SCAN, 0, {}},
    MenuItem{"Add Media Database...\tCtrl+O", ID_ADD_DATABASE, 0, {}},
    MenuItem{"Scan Media Folder...", ID_SCAN_FOLDER, 0, {}},
    MenuItem{"Export Media List...", ID_EXPORT_MEDIA_LIST, 0, {}},
    MenuItem{"Operation History...", ID_OPERATION_HISTORY, 0, {}},
    MenuItem{"", 0, Separator, {}},
    MenuItem{"Exit", ID_EXIT, 0, {}},
};

constexpr std::array kOptionsMenu{
    MenuItem{"Verify database against existing files", ID_VERIFY_FILES, Checked, {}},
    MenuItem{"Confirm move", ID_CONFIRM_MOVE, Checked, {}},
    MenuItem{"Confirm delete", ID_CONFIRM_DELETE, Checked, {}},
    MenuItem{"Read MXF media files", ID_READ_MXF, Checked, {}},
};

constexpr std::array kToolsMenu{
    MenuItem{"Show Console", ID_SHOW_CONSOLE, 0, {}},
    MenuItem{"Hardware Tool", ID_HARDWARE_TOOL, 0, {}},
    MenuItem{"OMFI info tool", ID_OMF_INFO_TOOL, 0, {}},
    MenuItem{"Find Duplicate Media", ID_FIND_DUPLICATES, 0, {}},
    MenuItem{"Find...\tCtrl+F", ID_FIND, 0, {}},
};

constexpr std::array kMainMenu{
    MenuItem{"File", 0, 0, kFileMenu},
    MenuItem{"Options", 0, 0, kOptionsMenu},
    MenuItem{"Tools", 0, 0, kToolsMenu},
    MenuItem{"About...", ID_APP_ABOUT, RightAligned, {}},
};

constexpr std::array kFileListMenu{
    MenuItem{"Copy Path to Clipboard", ID_COPY_PATH, 0, {}},
    MenuItem{"Copy ...", ID_COPY_FILES, 0, {}},
    MenuItem{"Move...", ID_MOVE_FILES, 0, {}},
    MenuItem{"Delete", ID_DELETE_FILES, 0, {}},
    MenuItem{"Show Omfi Info (under Development)", ID_SHOW_OMF_INFO, 0, {}},
};

constexpr std::array kProjectListMenu{
    MenuItem{"Project statistics...", ID_PROJECT_STATISTICS, Grayed, {}},
    MenuItem{"Store Project(s)...", ID_STORE_PROJECTS, 0, {}},
    MenuItem{"Delete all media related to the project(s)...", ID_DELETE_PROJECT_MEDIA, 0, {}},
    MenuItem{"Export Project List...", ID_EXPORT_PROJECT_LIST, 0, {}},
};

constexpr std::array kContextMenus{
    MenuItem{"FileListMenu", 0, 0, kFileListMenu},
    MenuItem{"ProjectlistMenu", 0, 0, kProjectListMenu},
};

constexpr std::array kMenus{
    MenuTemplate{IDR_MAIN_MENU, kMainMenu},
    MenuTemplate{IDR_CONTEXT_MENUS, kContextMenus},
};

constexpr std::array kMainAccelerators{
    Accelerator{'O', true, ID_ADD_DATABASE},
    Accelerator{'A', true, ID_SELECT_ALL_ROWS},
};

constexpr std::array kWindowAccelerators{
    Accelerator{'F', true, ID_FIND},
};

} // namespace

const MenuTemplate* FindMenu(int id) {
    return FindById(kMenus, id);
}

std::span<const Accelerator> FindAccelerators(int id) {
    if (id == IDR_ACCELERATORS)
        return kMainAccelerators;
    if (id == IDR_WINDOW_ACCELERATORS)
        return kWindowAccelerators;
    return {};
}

} // namespace res
