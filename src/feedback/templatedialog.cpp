#include "feedback/templatedialog.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

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

void TemplateDialog::SetMenuBar(QMenuBar* bar) {
    if (m_layout == nullptr || bar == nullptr)
        return;
    m_layout->setMenuBar(bar);
    m_layout->activate();
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

QRect TemplateDialog::toPixels(int x, int y, int cx, int cy) const {
    const int bx = m_baseUnits.width();
    const int by = m_baseUnits.height();
    return {mulDiv(x, bx, 4), mulDiv(y, by, 8), mulDiv(cx, bx, 4), mulDiv(cy, by, 8)};
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
        widget->setGeometry(toPixels(c.x, c.y, c.cx, c.cy));
        if (c.style & res::style::Disabled)
            widget->setEnabled(false);
        if (c.id != res::IDC_STATIC)
            m_controls.insert(c.id, widget);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            const int id = c.id;
            connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        }
    }

    const QRect frame = toPixels(dialog->x, dialog->y, dialog->cx, dialog->cy);
    resize(frame.size());
    m_layout->activate();
    if (dialog->style & res::style::Centered) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    } else {
        move(frame.topLeft());
    }
    if (!(dialog->style & res::style::SizingBorder))
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
        button->setAutoDefault(false);
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
        auto* tree = new QTreeWidget(m_client);
        tree->setHeaderHidden(true);
        return tree;
    }
    case res::ControlClass::TrackBar:
        return new QSlider(Qt::Horizontal, m_client);
    case res::ControlClass::ProgressBar: {
        auto* bar = new QProgressBar(m_client);
        bar->setTextVisible(false);
        return bar;
    }
    }
    return new QWidget(m_client);
}
