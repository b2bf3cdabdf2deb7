#include "resources/bitmaps.h"
#include "resources/dialogtemplate.h"
#include "resources/menus.h"
#include "resources/stringtable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

namespace {

bool sharedId(int id) {
    return id == res::IDOK || id == res::IDCANCEL || id == res::IDC_STATIC;
}

// Every template can be found by its id; its controls lie inside its window
// and can be found by theirs; an icon names an icon the program has.
TEST(Resources, EveryTemplateHoldsItsControlsWhereTheyCanBeFound) {
    ASSERT_FALSE(res::DialogTemplates().empty());
    for (const res::DialogTemplate& d : res::DialogTemplates()) {
        SCOPED_TRACE(d.title);
        EXPECT_EQ(res::FindDialogTemplate(d.id), &d);
        EXPECT_GT(d.cx, 0);
        EXPECT_GT(d.cy, 0);
        for (const res::ControlTemplate& c : d.controls) {
            SCOPED_TRACE(c.id);
            EXPECT_GE(c.x, 0);
            EXPECT_GE(c.y, 0);
            EXPECT_GT(c.cx, 0);
            EXPECT_GT(c.cy, 0);
            EXPECT_LE(c.x + c.cx, d.cx);
            EXPECT_LE(c.y + c.cy, d.cy);
            if (c.id != res::IDC_STATIC) {
                EXPECT_EQ(d.Control(c.id), &c);
            }
            if (c.cls == res::ControlClass::Icon) {
                EXPECT_NE(res::FindIcon(std::atoi(c.text)), nullptr);
            }
        }
    }
    EXPECT_EQ(res::FindDialogTemplate(0), nullptr);
}

// A control id names one control of one window, and no menu command: the
// main window sends both to the same handlers. Only OK, Cancel and the
// controls that are never looked up share theirs.
TEST(Resources, ControlIdsAreUniqueAcrossTemplatesAndCommands) {
    std::map<int, std::string> owner;
    for (const res::DialogTemplate& d : res::DialogTemplates()) {
        for (const res::ControlTemplate& c : d.controls) {
            if (sharedId(c.id))
                continue;
            const auto [it, added] = owner.emplace(c.id, d.title);
            EXPECT_TRUE(added) << "control " << c.id << " of " << d.title << " is also in "
                               << it->second;
        }
    }
    for (int id : {res::IDR_MAIN_MENU, res::IDR_CONTEXT_MENUS}) {
        for (const res::MenuItem& top : res::FindMenu(id)->items) {
            EXPECT_EQ(owner.count(top.command), 0u) << top.text;
            for (const res::MenuItem& item : top.children) {
                EXPECT_EQ(owner.count(item.command), 0u) << item.text;
            }
        }
    }
}

TEST(Resources, MissingStringsAreEmpty) {
    EXPECT_STREQ(res::LoadResourceString(12345), "");
    EXPECT_STREQ(res::LoadResourceString(res::IDS_ABOUT_ITEM), "About Tolvane...");
}

} // namespace

namespace {

// Every picture row is as wide as the picture says, and every character has
// a colour (icons may leave '.' transparent).
TEST(Resources, PicturesAreWhole) {
    for (const res::PixelArt* art :
         {res::FindBitmap(res::IDB_HEADER_SORTED), res::FindBitmap(res::IDB_HEADER_PLAIN),
          res::FindIcon(res::IDI_PROGRAM)}) {
        ASSERT_NE(art, nullptr);
        ASSERT_EQ(static_cast<int>(art->rows.size()), art->height);
        for (const char* row : art->rows) {
            ASSERT_EQ(static_cast<int>(std::strlen(row)), art->width) << art->id;
            for (const char* c = row; *c; ++c) {
                bool known = *c == '.';
                for (const auto& [key, colour] : art->palette)
                    known = known || key == *c;
                EXPECT_TRUE(known) << art->id << " " << *c;
            }
        }
    }
}

// Every command of the menus is a distinct id; pop-ups hold items.
TEST(Resources, MenusNameDistinctCommands) {
    std::set<int> commands;
    for (int id : {res::IDR_MAIN_MENU, res::IDR_CONTEXT_MENUS}) {
        const res::MenuTemplate* menu = res::FindMenu(id);
        ASSERT_NE(menu, nullptr);
        for (const res::MenuItem& top : menu->items) {
            if (top.command != 0) {
                EXPECT_TRUE(commands.insert(top.command).second) << top.text;
            }
            for (const res::MenuItem& item : top.children) {
                if (!(item.flags & res::menu::Separator)) {
                    EXPECT_TRUE(commands.insert(item.command).second) << item.text;
                }
            }
        }
    }
    EXPECT_EQ(res::FindAccelerators(res::IDR_ACCELERATORS).size(), 2u);
}

} // namespace
