#include "resources/dialogtemplate.h"
#include "widgets/templatedialog.h"

#include <QListView>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

TEST(TemplateDialog, BuildsControlsFromTheTemplateInDialogUnits) {
    TemplateDialog dialog;
    ASSERT_TRUE(dialog.CreateFromTemplate(res::IDD_CONSOLE));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Debug Console"));
    const QSize base = TemplateDialog::BaseUnits(dialog.font());
    ASSERT_GT(base.width(), 0);
    // Clear at (1, 74), 50 x 11 dialog units.
    auto* clear = dialog.ControlAs<QPushButton>(res::IDC_CONSOLE_CLEAR);
    ASSERT_NE(clear, nullptr);
    EXPECT_EQ(clear->text(), QStringLiteral("Clear"));
    EXPECT_EQ(clear->geometry(), dialog.ToPixels(1, 74, 50, 11));
    EXPECT_EQ(dialog.ToPixels(4, 8, 50, 11).topLeft(), QPoint(base.width(), base.height()));
    EXPECT_NE(dialog.ControlAs<QListView>(res::IDC_CONSOLE_LIST), nullptr);
    EXPECT_EQ(dialog.Control(1), nullptr);
}

TEST(TemplateDialog, UnknownTemplateBuildsNothing) {
    TemplateDialog dialog;
    EXPECT_FALSE(dialog.CreateFromTemplate(1));
    EXPECT_EQ(dialog.Template(), nullptr);
    EXPECT_TRUE(dialog.findChildren<QWidget*>().isEmpty());
}

} // namespace
