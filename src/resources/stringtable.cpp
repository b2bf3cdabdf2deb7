#include "resources/stringtable.h"

#include "resources/findbyid.h"

#include <array>

namespace res {
namespace {

struct StringEntry {
    int id;
    const char* text;
};

constexpr std::array kStrings{
    StringEntry{IDS_VERSION, "ver. 0.2"},
    StringEntry{IDS_PRODUCT, "Tolvane for AVID applications"},
    StringEntry{IDS_AUTHOR, "by the Tolvane developers"},
    StringEntry{IDS_SEPARATOR, "------------------------------------------"},
    StringEntry{IDS_ABOUT_ITEM, "About Tolvane..."},
    StringEntry{IDS_DLG_INIT_COMPLETE, "DLG init complete"},
    StringEntry{IDS_ABORTED_BY_USER, "Operation Aborted by User"},
    StringEntry{IDS_OPERATION_ABORTED, "ERROR: Operation Aborted"},
};

} // namespace

const char* LoadResourceString(int id) {
    const StringEntry* entry = FindById(kStrings, id);
    return entry != nullptr ? entry->text : "";
}

} // namespace res
