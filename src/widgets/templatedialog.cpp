#include "widgets/templatedialog.h"

#include "resources/menus.h"
#include "widgets/pixelart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdlib>
#include <cstring>

namespace {

int mulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

Qt::WindowFlags windowFlagsFor(std::uint64_t style) {
    using namespace res::style;
    if (style & Child)
        return Qt::Widget;
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    if (style & Caption)
        flags |= Qt::WindowTitleHint;
    if (style & SysMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (style & MinimizeBox)
        flags |= Qt::WindowMinimizeButtonHint;
    if (style & MaximizeBox)
        flags |= Qt::WindowMaximizeButtonHint;
    if (style & Topmost)
        flags |= Qt::WindowStaysOnTopHint;
    return flags;
}

} // namespace

TemplateDialog::TemplateDialog(QWidget* parent) : QDialog(parent) {}

QMenuBar* TemplateDialog::BuildMenuBar(int menuId) {
    const res::MenuTemplate* menus = res::FindMenu(menuId);
    if (menus == nullptr || m_layout == nullptr)
        return nullptr;
    auto* bar = new QMenuBar(this);
    auto bind = [this](QAction* action, int id) {
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        action->setData(id);
        m_actions.insert(id, action);
    };
    for (const res::MenuItem& top : menus->items) {
        if (top.children.empty()) {
            // A right-aligned item sits in a bar of its own in the corner.
            QMenuBar* host = bar;
            if (top.flags & res::menu::RightAligned) {
                host = new QMenuBar(bar);
                bar->setCornerWidget(host, Qt::TopRightCorner);
            }
            bind(host->addAction(QString::fromLatin1(top.text)), top.command);
            continue;
        }
        QMenu* menu = bar->addMenu(QString::fromLatin1(top.text));
        for (const res::MenuItem& item : top.children) {
            if (item.flags & res::menu::Separator) {
                menu->addSeparator();
                continue;
            }
            // The shortcut text after the tab is shown, not bound: the
            // accelerator table binds the keys.
            QAction* action = menu->addAction(QString::fromLatin1(item.text));
            if (item.flags & res::menu::Checked) {
                action->setCheckable(true);
                action->setChecked(true);
            }
            action->setEnabled(!(item.flags & res::menu::Grayed));
            bind(action, item.command);
        }
    }
    m_layout->setMenuBar(bar);
    m_layout->activate();
    return bar;
}

std::vector<std::unique_ptr<QMenu>> TemplateDialog::BuildPopUpMenus(int menuId) {
    std::vector<std::unique_ptr<QMenu>> popUps;
    const res::MenuTemplate* menus = res::FindMenu(menuId);
    if (menus == nullptr)
        return popUps;
    for (const res::MenuItem& popUp : menus->items) {
        auto menu = std::make_unique<QMenu>(QString::fromLatin1(popUp.text));
        for (const res::MenuItem& item : popUp.children) {
            QAction* action = menu->addAction(QString::fromLatin1(item.text));
            action->setData(item.command);
            action->setEnabled(!(item.flags & res::menu::Grayed));
        }
        popUps.push_back(std::move(menu));
    }
    return popUps;
}

void TemplateDialog::InstallAccelerators(int acceleratorsId) {
    for (const res::Accelerator& a : res::FindAccelerators(acceleratorsId)) {
        auto* shortcut =
            new QShortcut(QKeySequence((a.control ? Qt::CTRL : Qt::KeyboardModifiers()) |
                                       static_cast<Qt::Key>(a.key)),
                          this);
        const int id = a.command;
        connect(shortcut, &QShortcut::activated, this, [this, id] { OnCommand(id); });
    }
}

QFont TemplateDialog::TemplateFont(const res::FontSpec& desc) {
    const bool fixed = std::strcmp(desc.face, "Courier New") == 0;
    QFont font =
        QFontDatabase::systemFont(fixed ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
    font.setPointSize(desc.pointSize);
    return font;
}

QSize TemplateDialog::BaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    return {width > 0 ? width : 1, metrics.height() > 0 ? metrics.height() : 1};
}

QRect TemplateDialog::ToPixels(int x, int y, int cx, int cy) const {
    const int bx = m_baseUnits.width();
    const int by = m_baseUnits.height();
    // Edges are converted, not sizes, so that controls that touch in dialog
    // units touch in pixels too, whatever the rounding.
    const int left = mulDiv(x, bx, 4);
    const int top = mulDiv(y, by, 8);
    return {left, top, mulDiv(x + cx, bx, 4) - left, mulDiv(y + cy, by, 8) - top};
}

bool TemplateDialog::CreateFromTemplate(int templateId) {
    const res::DialogTemplate* dialog = res::FindDialogTemplate(templateId);
    if (dialog == nullptr)
        return false;
    m_template = dialog;
    setWindowFlags(windowFlagsFor(dialog->style));
    setWindowTitle(QString::fromLatin1(dialog->title));
    const QFont font = TemplateFont(dialog->font);
    setFont(font);
    m_baseUnits = BaseUnits(font);
    m_client = new QWidget(this);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addWidget(m_client);

    for (const res::ControlTemplate& c : dialog->controls) {
        QWidget* widget = CreateControl(c);
        widget->setObjectName(QString::number(c.id));
        widget->setGeometry(ToPixels(c.x, c.y, c.cx, c.cy));
        if (c.style & res::style::Disabled)
            widget->setEnabled(false);
        // A group box frames the controls in it: it lies beneath them.
        if (c.cls == res::ControlClass::GroupBox)
            widget->lower();
        if (c.id != res::IDC_STATIC)
            m_controls.insert(c.id, widget);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            const int id = c.id;
            connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        }
    }

    const QRect frame = ToPixels(dialog->x, dialog->y, dialog->cx, dialog->cy);
    resize(frame.size());
    m_layout->activate();
    if (dialog->style & res::style::Centered) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    } else {
        move(frame.topLeft());
    }
    // A part of a window takes the width its parent gives it.
    if (!(dialog->style & (res::style::SizingBorder | res::style::Child)))
        setFixedSize(frame.size());
    return true;
}

void TemplateDialog::OnCommand(int) {}

QWidget* TemplateDialog::CreateControl(const res::ControlTemplate& c) {
    using namespace res::style;
    const QString text = QString::fromLatin1(c.text);
    switch (c.cls) {
    case res::ControlClass::Button: {
        auto* button = new QPushButton(text, m_client);
        // Enter presses the focused button; the default button takes it
        // when the focus is on a control that does not use Enter itself.
        button->setAutoDefault(true);
        if (c.style & DefaultButton)
            button->setDefault(true);
        return button;
    }
    case res::ControlClass::Static: {
        auto* label = new QLabel(text, m_client);
        if (c.style & CenterText)
            label->setAlignment(Qt::AlignCenter);
        if (c.style & (StaticEdge | SunkenEdge))
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (c.style & GrayRect) {
            label->setAutoFillBackground(true);
            label->setBackgroundRole(QPalette::Mid);
        }
        return label;
    }
    case res::ControlClass::ListBox: {
        auto* list = new QListView(m_client);
        list->setUniformItemSizes(true);
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        if (c.style & VScroll)
            list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return list;
    }
    case res::ControlClass::ListView: {
        auto* view = new QTreeView(m_client);
        view->setRootIsDecorated(false);
        view->setUniformRowHeights(true);
        return view;
    }
    case res::ControlClass::TreeView: {
        // A tree with check marks shows a model that owns them; the other
        // trees are filled item by item.
        QTreeView* tree =
            (c.style & CheckBoxes) ? new QTreeView(m_client) : new QTreeWidget(m_client);
        tree->setHeaderHidden(true);
        return tree;
    }
    case res::ControlClass::TrackBar:
        return new QSlider(Qt::Horizontal, m_client);
    case res::ControlClass::CheckBox: {
        auto* box = new QCheckBox(text, m_client);
        const int id = c.id;
        connect(box, &QCheckBox::clicked, this, [this, id] { OnCommand(id); });
        return box;
    }
    case res::ControlClass::Edit:
        return new QLineEdit(text, m_client);
    case res::ControlClass::GroupBox:
        return new QGroupBox(text, m_client);
    case res::ControlClass::Icon: {
        auto* icon = new QLabel(m_client);
        icon->setPixmap(IconPixmap(std::atoi(c.text)));
        icon->setScaledContents(true);
        return icon;
    }
    case res::ControlClass::ComboBox: {
        auto* box = new QComboBox(m_client);
        box->addItems(text.split(QLatin1Char('\n')));
        return box;
    }
    case res::ControlClass::ProgressBar: {
        auto* bar = new QProgressBar(m_client);
        bar->setTextVisible(false);
        return bar;
    }
    }
    return new QWidget(m_client);
}
