#include "resources/bitmaps.h"
#include "resources/dialogtemplate.h"
#include "resources/menus.h"
#include "resources/stringtable.h"

#include <cstring>

#include <gtest/gtest.h>

#include <set>

namespace {

// Every control of every template has its own id and lies inside its window.
TEST(Resources, TemplateControlsAreUniqueAndInsideTheirWindow) {
    for (int id : {res::IDD_MAIN, res::IDD_PROGRESS, res::IDD_WORKING, res::IDD_CONSOLE}) {
        const res::DialogTemplate* d = res::FindDialogTemplate(id);
        ASSERT_NE(d, nullptr) << id;
        std::set<int> ids;
        for (const res::ControlTemplate& c : d->controls) {
            if (c.id != res::IDC_STATIC) {
                EXPECT_TRUE(ids.insert(c.id).second) << "template " << id << " control " << c.id;
            }
            EXPECT_GE(c.x, 0);
            EXPECT_GE(c.y, 0);
            EXPECT_LE(c.x + c.cx, d->cx) << "template " << id << " control " << c.id;
            EXPECT_LE(c.y + c.cy, d->cy) << "template " << id << " control " << c.id;
            if (c.id != res::IDC_STATIC) {
                EXPECT_EQ(d->Control(c.id), &c);
            }
        }
    }
    EXPECT_EQ(res::FindDialogTemplate(0), nullptr);
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
