#include "widgets/debugconsole.h"

#include "platform/qtext.h"

#include <QAbstractListModel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>

#include <deque>

// The console's lines as the list shows them. Lines are kept as the 8-bit
// text they were logged as and converted only for display.
class ConsoleLines final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid() ||
            static_cast<std::size_t>(index.row()) >= m_lines.size())
            return {};
        const std::string& text = m_lines[static_cast<std::size_t>(index.row())];
        return ToQt(text);
    }

    void append(std::string_view text) {
        const int row = static_cast<int>(m_lines.size());
        beginInsertRows(QModelIndex(), row, row);
        m_lines.emplace_back(text);
        endInsertRows();
    }

    void removeFirst() {
        if (m_lines.empty())
            return;
        beginRemoveRows(QModelIndex(), 0, 0);
        m_lines.pop_front();
        endRemoveRows();
    }

    void clear() {
        beginResetModel();
        m_lines.clear();
        endResetModel();
    }

    const std::string& at(std::size_t i) const { return m_lines[i]; }

private:
    std::deque<std::string> m_lines;
};

DebugConsole::DebugConsole() : TemplateDialog(nullptr) {}

DebugConsole::~DebugConsole() = default;

bool DebugConsole::Create(int templateId) {
    if (!CreateFromTemplate(templateId))
        return false;
    m_list = ControlAs<QListView>(res::IDC_CONSOLE_LIST);
    if (m_list == nullptr || Control(res::IDC_CONSOLE_CLEAR) == nullptr ||
        Control(res::IDC_CONSOLE_HIDE) == nullptr)
        return false;
    m_lines = new ConsoleLines(this);
    m_list->setModel(m_lines);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    setModal(false);
    hide();
    ApplyMinimumSize();
    LayoutControls();
    return true;
}

int DebugConsole::LineCount() const {
    return m_lines != nullptr ? m_lines->rowCount() : 0;
}

std::string DebugConsole::Line(int index) const {
    if (m_lines == nullptr || index < 0 || index >= m_lines->rowCount())
        return {};
    return m_lines->at(static_cast<std::size_t>(index));
}

void DebugConsole::WriteLine(std::string_view line) {
    if (m_lines == nullptr)
        return;
    m_lines->append(line);
    if (m_lines->rowCount() > kMaxLines)
        m_lines->removeFirst();
    ScrollToEnd();
}

void DebugConsole::ScrollToEnd() {
    // Scrolling lays the list out, which costs time in proportion to its
    // length; one scroll per burst of lines, when the event loop next runs,
    // shows the same newest line and keeps every log call cheap. A hidden list
    // is scrolled when it is shown.
    if (m_scrollPending)
        return;
    m_scrollPending = true;
    if (!isVisible())
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_scrollPending && isVisible()) {
                m_scrollPending = false;
                m_list->scrollToBottom();
            }
        },
        Qt::QueuedConnection);
}

void DebugConsole::showEvent(QShowEvent* event) {
    TemplateDialog::showEvent(event);
    if (m_scrollPending && m_list != nullptr) {
        m_scrollPending = false;
        m_list->scrollToBottom();
    }
}

void DebugConsole::OnCommand(int id) {
    if (id == res::IDC_CONSOLE_HIDE) {
        hide();
    } else if (id == res::IDC_CONSOLE_CLEAR && m_lines != nullptr) {
        m_lines->clear();
    }
}

void DebugConsole::resizeEvent(QResizeEvent* event) {
    TemplateDialog::resizeEvent(event);
    ApplyMinimumSize();
    LayoutControls();
}

void DebugConsole::moveEvent(QMoveEvent* event) {
    TemplateDialog::moveEvent(event);
    LayoutControls();
}

void DebugConsole::ApplyMinimumSize() {
    // The limit is on the outer size, frame included; Qt limits the inside.
    const QSize frame = frameGeometry().size() - size();
    setMinimumSize(kMinWidth - frame.width(), kMinHeight - frame.height());
}

void DebugConsole::LayoutControls() {
    QWidget* clear = Control(res::IDC_CONSOLE_CLEAR);
    QWidget* hideButton = Control(res::IDC_CONSOLE_HIDE);
    if (m_list == nullptr || clear == nullptr || hideButton == nullptr)
        return;
    const QSize outer = frameGeometry().size();
    const int w = outer.width();
    const int h = outer.height();
    m_list->setGeometry(2, 3, w - 12, h - 51);
    clear->setGeometry(2, h - 47, 75, 18);
    hideButton->setGeometry(80, h - 47, 75, 18);
}
