#include "app/omfinfodlg.h"

#include "feedback/log.h"
#include "feedback/prompter.h"
#include "omf/omftree.h"
#include "platform/qtext.h"
#include "resources/dialogtemplate.h"
#include "widgets/debugconsole.h"

#include <QTreeWidget>

namespace {

void addItems(const std::vector<OmfTreeItem>& items, QTreeWidgetItem* parent, QTreeWidget& tree) {
    for (const OmfTreeItem& item : items) {
        auto* widgetItem =
            parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(&tree);
        widgetItem->setText(0, ToQt(item.text));
        if (item.bold) {
            QFont font = widgetItem->font(0);
            font.setBold(true);
            widgetItem->setFont(0, font);
        }
        addItems(item.children, widgetItem, tree);
    }
}

} // namespace

OmfInfoDlg::OmfInfoDlg(Services& services, std::string path, QWidget* parent)
    : TemplateDialog(parent), m_services(services), m_path(std::move(path)) {}

QTreeWidget& OmfInfoDlg::Tree() const {
    return *ControlAs<QTreeWidget>(res::IDC_OMF_TREE);
}

bool OmfInfoDlg::Create() {
    if (!CreateFromTemplate(res::IDD_OMF_INFO) ||
        ControlAs<QTreeWidget>(res::IDC_OMF_TREE) == nullptr)
        return false;
    setModal(true);
    Tree().setRootIsDecorated(true);
    if (!m_path.empty())
        BuildTree(m_path);
    return true;
}

bool OmfInfoDlg::BuildTree(const std::string& path) {
    Tree().clear();
    if (!m_reader.Open(path.c_str()))
        return false;
    const OmfTree tree = OmfTreeBuilder(m_reader).Build();
    addItems(tree.roots, nullptr, Tree());
    return true;
}

void OmfInfoDlg::OnCommand(int id) {
    switch (id) {
    case res::IDC_OMF_OPEN: {
        const auto path =
            m_services.prompter.openFileName("", "OMFI Files (*.omf *.aif *.wav *.mdb)");
        if (!path) {
            m_path.clear();
            Log("No File");
            break;
        }
        m_path = *path;
        Log(m_path);
        BuildTree(m_path);
        break;
    }
    case res::IDC_OMF_SHOW_CONSOLE:
        if (DebugConsole* console = m_services.console) {
            console->show();
            console->raise();
        }
        break;
    case res::IDOK:
        accept();
        break;
    default:
        break;
    }
}
