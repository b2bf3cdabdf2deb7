#include "app/historydlg.h"

#include "platform/qtext.h"
#include "platform/systemtext.h"
#include "resources/dialogtemplate.h"
#include "widgets/listview.h"

#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <cerrno>

namespace {

// Typing waits this long for the next key before the rows are found.
constexpr int kFindPauseMs = 150;

} // namespace

HistoryDlg::HistoryDlg(std::string journalPath, Exporter exporter, QWidget* parent)
    : TemplateDialog(parent), m_path(std::move(journalPath)), m_export(std::move(exporter)) {}

QWidget* HistoryDlg::CreateControl(const res::ControlTemplate& control) {
    if (control.id == res::IDC_HISTORY_LIST)
        return new ListView(Client());
    return TemplateDialog::CreateControl(control);
}

ListView& HistoryDlg::List() const {
    return *ControlAs<ListView>(res::IDC_HISTORY_LIST);
}

QLineEdit& HistoryDlg::FindLine() const {
    return *ControlAs<QLineEdit>(res::IDC_HISTORY_FIND);
}

bool HistoryDlg::Create() {
    if (!CreateFromTemplate(res::IDD_HISTORY) ||
        ControlAs<ListView>(res::IDC_HISTORY_LIST) == nullptr ||
        ControlAs<QLineEdit>(res::IDC_HISTORY_FIND) == nullptr)
        return false;
    setModal(true);
    ListView& list = List();
    list.SetColumns({{JournalTable::kTitles[0], 110, "2026-12-31T23:59:59Z"},
                     {JournalTable::kTitles[1], 60},
                     {JournalTable::kTitles[2], 70},
                     {JournalTable::kTitles[3], 70},
                     {JournalTable::kTitles[4], 240},
                     {JournalTable::kTitles[5], 240},
                     {JournalTable::kTitles[6], 70},
                     {JournalTable::kTitles[7], 60},
                     {JournalTable::kTitles[8], 200}});
    list.SetTextSource(
        [this](std::uint32_t row, int column) { return std::string(m_table.Field(row, column)); });
    m_read = m_table.Load(m_path);
    m_findTimer = new QTimer(this);
    m_findTimer->setSingleShot(true);
    m_findTimer->setInterval(kFindPauseMs);
    connect(m_findTimer, &QTimer::timeout, this, [this] { ApplyFind(); });
    connect(&FindLine(), &QLineEdit::textChanged, this, [this] { m_findTimer->start(); });
    ApplyFind();
    return true;
}

void HistoryDlg::ApplyFind() {
    m_findTimer->stop();
    const QByteArray text = FindLine().text().toUtf8();
    List().DeleteAllRows();
    List().AppendItems(m_table.Matching(
        std::string_view(text.constData(), static_cast<std::size_t>(text.size()))));
    ShowCount();
}

void HistoryDlg::ShowCount() {
    std::string text = std::to_string(List().RowCount()) + " of " + std::to_string(m_table.size()) +
                       " operation(s)";
    if (m_read.error != 0 && m_read.error != ENOENT)
        text += " - " + platform::SystemErrorText(m_read.error);
    else if (m_read.skipped != 0)
        text += " - " + std::to_string(m_read.skipped) + " damaged line(s) left out";
    if (auto* count = ControlAs<QLabel>(res::IDC_HISTORY_COUNT))
        count->setText(ToQt(text));
}

std::string HistoryDlg::ShownCsv() const {
    std::vector<std::uint32_t> rows;
    rows.reserve(static_cast<std::size_t>(List().RowCount()));
    for (int r = 0; r < List().RowCount(); ++r)
        rows.push_back(List().ItemData(r));
    return m_table.Csv(rows);
}

void HistoryDlg::OnCommand(int id) {
    if (id == res::IDOK)
        accept();
    else if (id == res::IDC_HISTORY_EXPORT && m_export)
        m_export([this] { return ShownCsv(); });
}
