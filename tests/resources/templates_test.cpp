#include "resources/dialogtemplate.h"
#include "resources/stringtable.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Every control of every template has its own id and lies inside its window.
TEST(Resources, TemplateControlsAreUniqueAndInsideTheirWindow) {
    for (int id : {res::IDD_CONSOLE}) {
        const res::DialogTemplate* d = res::FindDialogTemplate(id);
        ASSERT_NE(d, nullptr) << id;
        std::set<int> ids;
        for (const res::ControlTemplate& c : d->controls) {
            EXPECT_TRUE(ids.insert(c.id).second) << "template " << id << " control " << c.id;
            EXPECT_GE(c.x, 0);
            EXPECT_GE(c.y, 0);
            EXPECT_LE(c.x + c.cx, d->cx) << "template " << id << " control " << c.id;
            EXPECT_LE(c.y + c.cy, d->cy) << "template " << id << " control " << c.id;
            EXPECT_EQ(d->control(c.id), &c);
        }
    }
    EXPECT_EQ(res::FindDialogTemplate(0), nullptr);
}

TEST(Resources, MissingStringsAreEmpty) {
    EXPECT_STREQ(res::LoadResourceString(12345), "");
    EXPECT_STREQ(res::LoadResourceString(res::IDS_ABOUT_ITEM), "About Tolvane...");
}

} // namespace
