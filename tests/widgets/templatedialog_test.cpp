#include "resources/dialogtemplate.h"
#include "widgets/templatedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

// Whether the widget made for a control is of the kind its class asks for.
bool madeAs(const res::ControlTemplate& c, QWidget* widget) {
    switch (c.cls) {
    case res::ControlClass::Button:
        return qobject_cast<QPushButton*>(widget) != nullptr;
    case res::ControlClass::Static:
        return qobject_cast<QLabel*>(widget) != nullptr;
    case res::ControlClass::Icon: {
        auto* label = qobject_cast<QLabel*>(widget);
        return label != nullptr && !label->pixmap().isNull();
    }
    case res::ControlClass::ListBox:
        return qobject_cast<QListView*>(widget) != nullptr;
    case res::ControlClass::ListView:
        return qobject_cast<QTreeView*>(widget) != nullptr;
    case res::ControlClass::TreeView:
        // A tree with check marks is left for a model; the others take items.
        return qobject_cast<QTreeView*>(widget) != nullptr &&
               (qobject_cast<QTreeWidget*>(widget) == nullptr) ==
                   ((c.style & res::style::CheckBoxes) != 0);
    case res::ControlClass::TrackBar:
        return qobject_cast<QSlider*>(widget) != nullptr;
    case res::ControlClass::ProgressBar:
        return qobject_cast<QProgressBar*>(widget) != nullptr;
    case res::ControlClass::CheckBox:
        return qobject_cast<QCheckBox*>(widget) != nullptr;
    case res::ControlClass::Edit:
        return qobject_cast<QLineEdit*>(widget) != nullptr;
    case res::ControlClass::GroupBox:
        return qobject_cast<QGroupBox*>(widget) != nullptr;
    case res::ControlClass::ComboBox: {
        // One choice a line of its text.
        auto* box = qobject_cast<QComboBox*>(widget);
        return box != nullptr &&
               box->count() == QString::fromLatin1(c.text).split(QLatin1Char('\n')).size();
    }
    }
    return false;
}

// Every template builds: each control is made as its class asks, found by
// its id, and lies inside the window.
TEST(TemplateDialog, BuildsEveryTemplateWithEveryControl) {
    for (const res::DialogTemplate& d : res::DialogTemplates()) {
        SCOPED_TRACE(d.title);
        TemplateDialog dialog;
        ASSERT_TRUE(dialog.CreateFromTemplate(d.id));
        const QList<QWidget*> made =
            dialog.Client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        ASSERT_EQ(made.size(), static_cast<qsizetype>(d.controls.size()));
        const QRect client = dialog.ToPixels(0, 0, d.cx, d.cy);
        for (const res::ControlTemplate& c : d.controls) {
            SCOPED_TRACE(c.id);
            QWidget* widget = nullptr;
            for (QWidget* w : made) {
                if (w->objectName() == QString::number(c.id) &&
                    w->geometry() == dialog.ToPixels(c.x, c.y, c.cx, c.cy))
                    widget = w;
            }
            ASSERT_NE(widget, nullptr);
            EXPECT_TRUE(madeAs(c, widget));
            EXPECT_TRUE(client.contains(widget->geometry()));
            EXPECT_EQ(widget->isEnabled(), !(c.style & res::style::Disabled));
            if (c.id != res::IDC_STATIC) {
                EXPECT_EQ(dialog.Control(c.id), widget);
            }
        }
    }
}

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
