#include "feedback/orrinconsole.h"

#include "platform/systemtext.h"
#include "resources/stringtable.h"

#include <QAbstractListModel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>

#include <cstdio>
#include <cstring>
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
        return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
    }

    void append(const char* text) {
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

OrrinConsole::OrrinConsole() : TemplateDialog(nullptr) {}

OrrinConsole::~OrrinConsole() = default;

bool OrrinConsole::Create(int templateId) {
    if (!CreateFromTemplate(templateId))
        return false;
    m_list = controlAs<QListView>(res::IDC_CONSOLE_LIST);
    if (m_list == nullptr || control(res::IDC_CONSOLE_CLEAR) == nullptr ||
        control(res::IDC_CONSOLE_HIDE) == nullptr)
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

void OrrinConsole::Log(const char* text) {
    AppendLine(text, true);
}

void OrrinConsole::Log(const std::string& text) {
    AppendLine(text.c_str(), true);
}

void OrrinConsole::LogBuffer() {
    AppendLine(m_line, true);
    std::memset(m_line, 0, 255);
}

void OrrinConsole::LogError(int code, const char* what) {
    if (code == 0)
        return;
    const std::string text = platform::SystemErrorText(code);
    std::snprintf(m_line, kFormatLimit, "%s : failed with error %d: %s", what ? what : "", code,
                  text.c_str());
    AppendLine(m_line, true);
}

void OrrinConsole::LogResource(int id) {
    const char* text = res::LoadResourceString(id);
    AppendLine(text, *text != '\0');
}

int OrrinConsole::lineCount() const {
    return m_lines != nullptr ? m_lines->rowCount() : 0;
}

std::string OrrinConsole::line(int index) const {
    if (m_lines == nullptr || index < 0 || index >= m_lines->rowCount())
        return {};
    return m_lines->at(static_cast<std::size_t>(index));
}

void OrrinConsole::AppendLine(const char* text, bool insert) {
    if (m_lines == nullptr)
        return;
    if (insert)
        m_lines->append(text);
    if (m_lines->rowCount() > kMaxLines)
        m_lines->removeFirst();
    ScrollToEnd();
}

void OrrinConsole::ScrollToEnd() {
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

void OrrinConsole::showEvent(QShowEvent* event) {
    TemplateDialog::showEvent(event);
    if (m_scrollPending && m_list != nullptr) {
        m_scrollPending = false;
        m_list->scrollToBottom();
    }
}

void OrrinConsole::OnCommand(int id) {
    if (id == res::IDC_CONSOLE_HIDE) {
        hide();
    } else if (id == res::IDC_CONSOLE_CLEAR && m_lines != nullptr) {
        m_lines->clear();
    }
}

void OrrinConsole::resizeEvent(QResizeEvent* event) {
    TemplateDialog::resizeEvent(event);
    ApplyMinimumSize();
    LayoutControls();
}

void OrrinConsole::moveEvent(QMoveEvent* event) {
    TemplateDialog::moveEvent(event);
    LayoutControls();
}

void OrrinConsole::ApplyMinimumSize() {
    // The limit is on the outer size, frame included; Qt limits the inside.
    const QSize frame = frameGeometry().size() - size();
    setMinimumSize(kMinWidth - frame.width(), kMinHeight - frame.height());
}

void OrrinConsole::LayoutControls() {
    QWidget* clear = control(res::IDC_CONSOLE_CLEAR);
    QWidget* hideButton = control(res::IDC_CONSOLE_HIDE);
    if (m_list == nullptr || clear == nullptr || hideButton == nullptr)
        return;
    const QSize outer = frameGeometry().size();
    const int w = outer.width();
    const int h = outer.height();
    m_list->setGeometry(2, 3, w - 12, h - 51);
    clear->setGeometry(2, h - 47, 75, 18);
    hideButton->setGeometry(80, h - 47, 75, 18);
}
