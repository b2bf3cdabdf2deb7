#include "app/mainwindow.h"

#include "app/mylistctrl.h"
#include "app/pixelart.h"
#include "app/workingwindow.h"
#include "feedback/log.h"
#include "feedback/orrinconsole.h"
#include "feedback/progresswindow.h"
#include "feedback/prompter.h"
#include "platform/formatting.h"
#include "resources/bitmaps.h"
#include "resources/menus.h"
#include "resources/stringtable.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QUrl>

#include <cstring>
#include <strings.h>
#include <unordered_set>

namespace {

QString toQt(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

std::string lastThree(const std::string& s) {
    return s.size() >= 3 ? s.substr(s.size() - 3) : s;
}

// Holds keyboard input while a long operation runs: key presses are counted
// and consumed, mouse input to the busy window is dropped.
class BusyInputFilter : public QObject {
public:
    explicit BusyInputFilter(QWidget* window) : m_window(window) {}
    int keys = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            ++keys;
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel: {
            auto* widget = qobject_cast<QWidget*>(watched);
            return widget != nullptr && widget->window() == m_window;
        }
        default:
            return false;
        }
    }

private:
    QWidget* m_window;
};

constexpr int kInfoColumnGap = 82;

} // namespace

bool WorkingWindow::Start() {
    if (!CreateFromTemplate(res::IDD_WORKING))
        return false;
    show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}

void TreeCheckList::Clear() {
    m_tree->clear();
}

void TreeCheckList::InsertFirst(const std::string& text, std::uint32_t number, bool checked) {
    auto* item = new QTreeWidgetItem();
    item->setText(0, toQt(text));
    item->setData(0, Qt::UserRole, number);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    m_tree->insertTopLevelItem(0, item);
}

int TreeCheckList::Count() const {
    return m_tree->topLevelItemCount();
}

std::uint32_t TreeCheckList::Number(int index) const {
    return m_tree->topLevelItem(index)->data(0, Qt::UserRole).toUInt();
}

bool TreeCheckList::Checked(int index) const {
    return m_tree->topLevelItem(index)->checkState(0) == Qt::Checked;
}

void TreeCheckList::SetAllChecked(bool checked) {
    for (int i = 0; i < Count(); ++i)
        m_tree->topLevelItem(i)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

MainWindow::MainWindow(QWidget* parent)
    : TemplateDialog(parent), m_icon(IconPixmap(res::IDI_PROGRAM)) {
    m_popUp = [](QMenu& menu, QPoint at) { return menu.exec(at); };
    m_openFile = [](const std::string& path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(toQt(path)));
    };
    ConnectCommand(res::IDC_SCAN, [this] { Scan(); });
    ConnectCommand(res::ID_SCAN, [this] { Scan(); });
    ConnectCommand(res::ID_ADD_DATABASE, [this] { AddMediaDatabase(); });
    ConnectCommand(res::ID_EXIT, [this] { accept(); });
    ConnectCommand(res::ID_VERIFY_FILES, [this] {
        ToggleOption(m_verifyFiles, res::ID_VERIFY_FILES);
        Scan();
    });
    ConnectCommand(res::ID_CONFIRM_MOVE,
                   [this] { ToggleOption(m_confirmMove, res::ID_CONFIRM_MOVE); });
    ConnectCommand(res::ID_CONFIRM_DELETE,
                   [this] { ToggleOption(m_confirmDelete, res::ID_CONFIRM_DELETE); });
    ConnectCommand(res::ID_SHOW_CONSOLE, [this] { ShowConsole(); });
    ConnectCommand(res::IDC_REFRESH, [this] { RefreshList(); });
    ConnectCommand(res::IDC_SELECT_ALL, [this] { SetAllDatabaseChecks(true); });
    ConnectCommand(res::IDC_DESELECT_ALL, [this] { SetAllDatabaseChecks(false); });
    ConnectCommand(res::IDC_DELETE_DATABASES, [this] { DeleteSelectedDatabases(); });
    ConnectCommand(res::ID_COPY_PATH, [this] { CopyPathToClipboard(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::ConnectCommand(int id, std::function<void()> handler) {
    m_handlers[id] = std::move(handler);
}

void MainWindow::OnCommand(int id) {
    const auto it = m_handlers.find(id);
    if (it != m_handlers.end() && it->second)
        it->second();
}

QWidget* MainWindow::CreateControl(const res::ControlTemplate& control) {
    switch (control.id) {
    case res::IDC_PROJECT_LIST:
    case res::IDC_FILE_LIST:
        return new myCListCtrl(client());
    case res::IDC_SUMMARY_LIST:
    case res::IDC_INFO_LIST: {
        auto* list = new ListView(client());
        list->SetSingleSelection(true);
        list->SetHeaderClickable(false);
        if (control.style & res::style::NoScroll) {
            list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        }
        return list;
    }
    default:
        return TemplateDialog::CreateControl(control);
    }
}

myCListCtrl& MainWindow::ProjectList() const {
    return *controlAs<myCListCtrl>(res::IDC_PROJECT_LIST);
}
myCListCtrl& MainWindow::FileList() const {
    return *controlAs<myCListCtrl>(res::IDC_FILE_LIST);
}
ListView& MainWindow::SummaryList() const {
    return *controlAs<ListView>(res::IDC_SUMMARY_LIST);
}
ListView& MainWindow::InfoList() const {
    return *controlAs<ListView>(res::IDC_INFO_LIST);
}
QTreeWidget& MainWindow::DatabaseTree() const {
    return *controlAs<QTreeWidget>(res::IDC_DATABASE_TREE);
}

QAction* MainWindow::MenuAction(int command) const {
    const auto it = m_actions.find(command);
    return it != m_actions.end() ? it->second : nullptr;
}

QMenu* MainWindow::ContextMenu(int index) const {
    return index >= 0 && index < 2 ? m_contextMenus[index].get() : nullptr;
}

bool MainWindow::Initialise() {
    m_minWidth = m_minHeight = m_chromeHeight = 0;
    WorkingWindow working;
    working.Start();
    if (!CreateFromTemplate(res::IDD_MAIN))
        return false;
    ConnectLists();

    // Sizes are the window's own, without the window manager's frame, which
    // is not known before the window is shown and varies between desktops.
    const QSize outer = size();
    const int clientHeight = client()->height();
    m_minWidth = outer.width();
    m_minHeight = outer.height();
    m_chromeHeight = outer.height() - clientHeight - 5;
    BuildMenus();
    int height = outer.height();
    if (m_menu != nullptr) {
        // The template has no menu: the window grows by the bar's height.
        const int bar = m_menu->sizeHint().height();
        m_minHeight = outer.height() + bar;
        m_chromeHeight = outer.height() + bar - clientHeight;
        height += bar;
    }
    resize(outer.width(), height + 1);
    ApplyMinimumSize();

    if (!m_icon.isNull())
        setWindowIcon(QIcon(m_icon));
    setWindowTitle(QStringLiteral("Tolvane for AVID applications ( build ") +
                   QString::fromLatin1(__DATE__) + QStringLiteral(" )"));
    m_verifyFiles = m_confirmDelete = m_confirmMove = true;

    TreeCheckList tree(&DatabaseTree());
    m_databases.Discover();
    m_databases.FillTree(tree);
    m_catalog.Reset();

    ProjectList().SetColumns({{"Project", 150}, {"Size", 82}});
    InstallFileListColumns();
    FillSummaryList();
    InfoList().SetColumns({{"", 80}, {"", InfoList().viewport()->width() - kInfoColumnGap}});

    m_headerMarkPlain = BitmapPixmap(res::IDB_HEADER_PLAIN);
    m_headerMarkSorted = BitmapPixmap(res::IDB_HEADER_SORTED);
    MarkHeadersPlain(FileList());
    MarkHeadersPlain(ProjectList());
    m_summaryLive = true;
    LogResource(res::IDS_DLG_INIT_COMPLETE);
    return true;
}

void MainWindow::BuildMenus() {
    if (const res::MenuTemplate* bar = res::FindMenu(res::IDR_MAIN_MENU)) {
        m_menu = new QMenuBar(this);
        for (const res::MenuItem& top : bar->items) {
            if (top.children.empty()) {
                // A right-aligned item sits in a bar of its own in the corner.
                QMenuBar* host = m_menu;
                if (top.flags & res::menu::RightAligned) {
                    host = new QMenuBar(m_menu);
                    m_menu->setCornerWidget(host, Qt::TopRightCorner);
                }
                QAction* action = host->addAction(QString::fromLatin1(top.text));
                const int id = top.command;
                connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
                m_actions[id] = action;
                continue;
            }
            QMenu* menu = m_menu->addMenu(QString::fromLatin1(top.text));
            for (const res::MenuItem& item : top.children) {
                if (item.flags & res::menu::Separator) {
                    menu->addSeparator();
                    continue;
                }
                const QString text = QString::fromLatin1(item.text);
                // The shortcut text after the tab is shown, not bound: the
                // accelerator table binds the keys.
                QAction* action = menu->addAction(text.section(QLatin1Char('\t'), 0, 0));
                if (text.contains(QLatin1Char('\t')))
                    action->setText(text);
                if (item.flags & res::menu::Checked) {
                    action->setCheckable(true);
                    action->setChecked(true);
                }
                action->setEnabled(!(item.flags & res::menu::Grayed));
                const int id = item.command;
                connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
                m_actions[id] = action;
            }
        }
        SetMenuBar(m_menu);
    }
    if (const res::MenuTemplate* menus = res::FindMenu(res::IDR_CONTEXT_MENUS)) {
        int index = 0;
        for (const res::MenuItem& popUp : menus->items) {
            if (index >= 2)
                break;
            auto menu = std::make_unique<QMenu>(QString::fromLatin1(popUp.text));
            for (const res::MenuItem& item : popUp.children) {
                QAction* action = menu->addAction(QString::fromLatin1(item.text));
                action->setData(item.command);
                action->setEnabled(!(item.flags & res::menu::Grayed));
            }
            m_contextMenus[index++] = std::move(menu);
        }
    }
    for (const res::Accelerator& a : res::FindAccelerators(res::IDR_ACCELERATORS)) {
        auto* shortcut =
            new QShortcut(QKeySequence((a.control ? Qt::CTRL : Qt::KeyboardModifiers()) |
                                       static_cast<Qt::Key>(a.key)),
                          this);
        const int id = a.command;
        connect(shortcut, &QShortcut::activated, this, [this, id] { OnCommand(id); });
    }
}

void MainWindow::ConnectLists() {
    connect(&ProjectList(), &ListView::itemChanged, this, &MainWindow::OnProjectItemChanged);
    connect(&FileList(), &ListView::itemChanged, this, &MainWindow::OnFileItemChanged);
    connect(&ProjectList(), &myCListCtrl::selectAllRequested, this,
            [this] { SelectAllRows(ProjectList()); });
    connect(&FileList(), &myCListCtrl::selectAllRequested, this,
            [this] { SelectAllRows(FileList()); });
    connect(&ProjectList(), &ListView::headerClicked, this,
            [this](int column) { SortList(ProjectList(), column); });
    connect(&FileList(), &ListView::headerClicked, this,
            [this](int column) { SortList(FileList(), column); });
    connect(&FileList(), &ListView::rightClicked, this, &MainWindow::ShowFileListMenu);
    connect(&ProjectList(), &ListView::rightClicked, this, &MainWindow::ShowProjectListMenu);
    connect(&FileList(), &ListView::rowDoubleClicked, this, &MainWindow::OpenMediaFile);
    connect(&FileList(), &ListView::keyDown, this, &MainWindow::OnFileListKey);
}

void MainWindow::ToggleOption(bool& option, int command) {
    option = !option;
    if (QAction* action = MenuAction(command))
        action->setChecked(option);
}

void MainWindow::ShowConsole() {
    if (LoggingOn()) {
        g_console->show();
        g_console->raise();
        g_console->activateWindow();
    }
}

// ---- layout --------------------------------------------------------------

void MainWindow::ApplyMinimumSize() {
    const QSize frame = frameGeometry().size() - size();
    setMinimumSize(std::max(0, m_minWidth - frame.width()),
                   std::max(0, m_minHeight - frame.height()));
}

void MainWindow::showEvent(QShowEvent* event) {
    TemplateDialog::showEvent(event);
    ApplyMinimumSize();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    TemplateDialog::resizeEvent(event);
    LayoutControls();
}

void MainWindow::LayoutControls() {
    if (client() == nullptr)
        return;
    const QSize outer = size();
    if (outer == m_lastSize)
        return;
    const int w = outer.width();
    const int h = outer.height();
    auto place = [this](int id, const std::function<QRect(QRect)>& change) {
        if (QWidget* c = control(id))
            c->setGeometry(change(c->geometry()));
    };
    // Right and bottom edges are exclusive, as the window system counts them.
    place(res::IDC_FILE_LIST, [&](QRect r) {
        return QRect(r.left(), r.top(), w - 12 - r.left(), h - m_chromeHeight - 24 - r.top());
    });
    place(res::IDC_INFO_LIST,
          [&](QRect r) { return QRect(r.left(), r.top(), w - 12 - r.left(), r.height()); });
    place(res::IDC_PROJECT_LIST, [&](QRect r) {
        return QRect(r.left(), r.top(), r.width(), h - m_chromeHeight - 6 - r.top());
    });
    for (int id : {res::IDC_LABEL_F5, res::IDC_LABEL_F6, res::IDC_LABEL_F8, res::IDC_LABEL_F2,
                   res::IDC_LABEL_F4}) {
        place(id, [&](QRect r) { return QRect(r.left(), h - m_chromeHeight - 22, r.width(), 16); });
    }
    m_lastSize = outer;
}

// ---- commands ------------------------------------------------------------

void MainWindow::ClearFileAndProjectLists() {
    FileList().DeleteAllRows();
    FileList().repaint();
    ProjectList().DeleteAllRows();
}

void MainWindow::Scan() {
    TreeCheckList tree(&DatabaseTree());
    m_databases.ReadChecks(tree);
    m_selectedBytes = 0;
    ClearFileAndProjectLists();
    auto progress = ProgressWindow::Start(this, res::IDD_PROGRESS);
    m_catalog.Reset();
    for (const DatabaseEntry* e = m_databases.NextChecked(true); e != nullptr;
         e = m_databases.NextChecked(false))
        m_catalog.LoadDatabase(e->path.c_str(), !m_verifyFiles, progress.get());
    progress.reset();
    InfoList().DeleteAllRows();
    m_mediaFile.Close();
    FillProjectList();
    FillSummaryList();
    MarkHeadersPlain(FileList());
    MarkHeadersPlain(ProjectList());
}

void MainWindow::AddMediaDatabase() {
    ClearFileAndProjectLists();
    ShowMediaInfo(nullptr);
    TreeCheckList tree(&DatabaseTree());
    m_databases.ReadChecks(tree);
    m_databases.AddDatabaseDialog(this);
    m_databases.FillTree(tree);
}

void MainWindow::RefreshList() {
    WorkingWindow working;
    working.Start();
    TreeCheckList tree(&DatabaseTree());
    m_databases.Discover();
    m_databases.FillTree(tree);
}

void MainWindow::SetAllDatabaseChecks(bool checked) {
    TreeCheckList tree(&DatabaseTree());
    tree.SetAllChecked(checked);
    m_databases.ReadChecks(tree);
}

void MainWindow::DeleteSelectedDatabases() {
    TreeCheckList tree(&DatabaseTree());
    m_databases.ReadChecks(tree);
    if (m_databases.NextChecked(true) == nullptr)
        return;
    if (CurrentPrompter().messageBox(this,
                                     "All selected media databases and indexes will be "
                                     "deleted\nThis action can not be undone!!!",
                                     "Are You sure?", MsgButtons::YesNo,
                                     MsgIcon::Question) != MsgAnswer::Yes)
        return;
    m_databases.DeleteChecked(this);
    m_databases.Discover();
    m_databases.FillTree(tree);
}

void MainWindow::CopyPathToClipboard() {
    const int row = FileList().FirstSelected();
    if (row < 0)
        return;
    const MediaRecord* record = m_catalog.GetRecord(FileList().ItemData(row));
    if (record == nullptr)
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        Log("Cannot open the Clipboard");
        return;
    }
    clipboard->setText(QString::fromLocal8Bit(record->folder));
    if (clipboard->text() != QString::fromLocal8Bit(record->folder))
        Log("Unable to set Clipboard data");
}

void MainWindow::OpenMediaFile(int row) {
    const std::string ending = lastThree(FileList().Text(row, 0));
    static const std::unordered_set<std::string> kEndings{"omf", "mxf", "MXF", "aif", "wav"};
    if (kEndings.count(ending) == 0)
        return;
    if (m_catalog.FindFileByName(FileList().Text(row, 0)) && m_openFile)
        m_openFile(MediaCatalog::FullPath(*m_catalog.FoundFile()));
}

void MainWindow::OnFileListKey(int key) {
    if (FileList().SelectedCount() == 0)
        return;
    switch (key) {
    case Qt::Key_F2:
        OnCommand(ID_ANALYSE_SELECTED);
        break;
    case Qt::Key_F4:
        OnCommand(ID_STORE_SELECTED);
        break;
    case Qt::Key_F5:
        OnCommand(res::ID_COPY_FILES);
        break;
    case Qt::Key_F6:
        OnCommand(res::ID_MOVE_FILES);
        break;
    case Qt::Key_F8:
        OnCommand(res::ID_DELETE_FILES);
        break;
    default:
        break;
    }
}

QAction* MainWindow::PopUp(QMenu& menu, QPoint globalPosition) {
    QAction* chosen = m_popUp ? m_popUp(menu, globalPosition) : nullptr;
    if (chosen != nullptr && chosen->isEnabled())
        OnCommand(chosen->data().toInt());
    return chosen;
}

void MainWindow::ShowFileListMenu(QPoint position) {
    QMenu* menu = ContextMenu(0);
    if (FileList().SelectedCount() == 0 || menu == nullptr)
        return;
    const bool one = FileList().SelectedCount() == 1;
    for (QAction* action : menu->actions()) {
        const int id = action->data().toInt();
        if (id == res::ID_COPY_PATH || id == res::ID_SHOW_OMF_INFO)
            action->setEnabled(one);
        else
            action->setEnabled(true);
    }
    PopUp(*menu, FileList().viewport()->mapToGlobal(position));
}

void MainWindow::ShowProjectListMenu(QPoint position) {
    QMenu* menu = ContextMenu(1);
    if (ProjectList().SelectedCount() == 0 || menu == nullptr)
        return;
    PopUp(*menu, ProjectList().viewport()->mapToGlobal(position));
}

bool MainWindow::CheckCancel() {
    BusyInputFilter filter(this);
    qApp->installEventFilter(&filter);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&filter);
    for (int i = 0; i < filter.keys; ++i) {
        if (CurrentPrompter().messageBox(this, "Do you want to cancel current task?", "",
                                         MsgButtons::YesNo, MsgIcon::Question) == MsgAnswer::Yes)
            return true;
    }
    return false;
}

void MainWindow::DisableControls() {
    SetControlsEnabled(false);
}

void MainWindow::EnableControls() {
    SetControlsEnabled(true);
}

void MainWindow::SetControlsEnabled(bool enabled) {
    for (int id : {res::ID_SCAN, res::ID_ADD_DATABASE, res::ID_EXIT, res::ID_SCAN_FOLDER,
                   res::ID_VERIFY_FILES}) {
        if (QAction* action = MenuAction(id))
            action->setEnabled(enabled);
    }
    for (int id : {res::IDC_SCAN, res::IDC_SCAN_FOLDER, res::IDC_SCAN_BIN, res::IDC_PROJECT_LIST,
                   res::IDC_FILE_LIST}) {
        if (QWidget* c = control(id))
            c->setEnabled(enabled);
    }
}

// ---- lists ---------------------------------------------------------------

void MainWindow::InstallFileListColumns() {
    FileList().SetColumns({{"Media File", 190},
                           {"Size", 60},
                           {"Name in bin", 190},
                           {"*Status", 80},
                           {"Path", 100},
                           {"Creation Date", 100},
                           {"Comp", 60},
                           {"Project Name", 200},
                           {"Source Name", 200}});
}

void MainWindow::FillSummaryList() {
    ListView& list = SummaryList();
    list.SetColumns({{"Info", 70}, {"", 80}});
    list.InsertRow(-1, "Projects", 0);
    list.InsertRow(-1, "Files", 1);
    list.InsertRow(-1, "Size", 2);
    list.SetText(0, 1, std::to_string(m_catalog.ProjectCount()));
    list.SetText(1, 1, std::to_string(m_catalog.FileCount()));
    list.SetText(2, 1, platform::FormatByteSize(m_catalog.TotalSize()));
}

void MainWindow::FillProjectList() {
    ListView& list = ProjectList();
    list.SetColumns({{"Project", 150}, {"Size", 82}});
    for (bool more = m_catalog.FirstProject(); more; more = m_catalog.NextProject()) {
        const ProjectRecord& project = *m_catalog.CurrentProject();
        // The list keeps its rows sorted by text as they are inserted.
        int at = 0;
        while (at < list.RowCount() &&
               strcasecmp(list.Text(at, 0).c_str(), project.name.c_str()) <= 0)
            ++at;
        list.InsertRow(at, project.name, project.projectNumber);
        const int row = list.FindText(project.name);
        if (row >= 0)
            list.SetText(row, 1, platform::FormatByteSize(project.totalSize));
    }
}

void MainWindow::MarkHeadersPlain(ListView& list) {
    for (int c = 0; c < list.ColumnCount(); ++c)
        list.SetHeaderMark(c, m_headerMarkPlain);
}

void MainWindow::UpdateSelectionSummary() {
    if (!m_summaryLive)
        return;
    auto* label = controlAs<QLabel>(res::IDC_SELECTION_SUMMARY);
    const int n = FileList().SelectedCount();
    std::string text;
    if (n == 0) {
        text = "no items selected";
        m_selectedBytes = 0;
    } else if (n == 1) {
        text = "1 item selected \n " + platform::FormatByteSize(m_selectedBytes);
    } else {
        text =
            std::to_string(n) + " items selected \n " + platform::FormatByteSize(m_selectedBytes);
    }
    if (label != nullptr)
        label->setText(toQt(text));
}

void MainWindow::SelectAllRows(ListView& list) {
    m_mediaFile.Close();
    m_summaryLive = false;
    list.SelectAllRows();
    m_summaryLive = true;
    UpdateSelectionSummary();
}

std::uint64_t MainWindow::BeginProjectRows(const std::string& project, ListView& list,
                                           Progress* progress, const std::string& caption) {
    m_catalog.FirstFileOfProject(project);
    const ProjectRecord* record = m_catalog.CurrentProject();
    list.hide();
    if (progress != nullptr) {
        progress->SetText(caption);
        if (auto* window = dynamic_cast<QWidget*>(progress))
            window->show();
    }
    return record != nullptr ? record->files.size() : 0;
}

void MainWindow::AddProjectFilesToList(const std::string& project, ListView& list,
                                       Progress* progress) {
    const std::uint64_t n = BeginProjectRows(project, list, progress, "Adding " + project);
    bool more = m_catalog.CurrentFile() != nullptr;
    std::uint64_t i = 0;
    std::vector<ListView::NewRow> rows;
    rows.reserve(static_cast<std::size_t>(n));
    char compression[30];
    for (; more; more = m_catalog.NextFileOfProject()) {
        if (progress != nullptr)
            progress->Step(i, n);
        ++i;
        const MediaRecord& r = *m_catalog.CurrentFile();
        std::vector<std::string> texts(9);
        texts[0] = r.fileName;
        texts[1] = platform::FormatByteSize(r.size);
        texts[2] = r.nameInBin;
        texts[4] = r.folder;
        texts[7] = r.projectName;
        if (r.attributes == -1) {
            texts[3] = "Not Exist";
        } else {
            if (r.attributes & 0x1)
                texts[3] = "!Locked";
            else if (r.attributes & 0x10)
                texts[3] = ".DIR.";
            if (r.creationTime != 0)
                texts[5] = platform::FormatFileTime(r.creationTime);
            if (r.compressionCode != 0)
                texts[6] = CompressionName(r.compressionCode, compression, sizeof compression);
            texts[8] = r.sourceName;
        }
        rows.push_back({r.catalogIndex, std::move(texts)});
    }
    list.AppendRows(std::move(rows));
    list.show();
}

void MainWindow::RemoveProjectFilesFromList(const std::string& project, ListView& list,
                                            Progress* progress) {
    const std::uint64_t n = BeginProjectRows(project, list, progress, "Please Wait - Cleaning Up");
    bool more = m_catalog.CurrentFile() != nullptr;
    std::uint64_t i = 0;
    std::unordered_set<std::uint32_t> indexes;
    for (; more; more = m_catalog.NextFileOfProject()) {
        if (progress != nullptr)
            progress->Step(i, n);
        ++i;
        indexes.insert(m_catalog.CurrentFile()->catalogIndex);
    }
    list.RemoveRows([&](std::uint32_t itemData) { return indexes.count(itemData) != 0; });
    list.show();
}

void MainWindow::OnProjectItemChanged(int row, bool wasSelected, bool isSelected) {
    MarkHeadersPlain(FileList());
    InfoList().DeleteAllRows();
    m_mediaFile.Close();
    m_summaryLive = false;
    if (row >= 0 && isSelected != wasSelected) {
        const std::string name = ProjectList().Text(row, 0);
        auto progress = ProgressWindow::Start(this, res::IDD_PROGRESS, false);
        if (isSelected)
            AddProjectFilesToList(name, FileList(), progress.get());
        else
            RemoveProjectFilesFromList(name, FileList(), progress.get());
        progress.reset();
        m_catalog.SelectProject(name);
        if (auto* label = controlAs<QLabel>(res::IDC_FILE_COUNT))
            label->setText(QString::number(FileList().RowCount()) + QStringLiteral(" item(s)"));
    }
    m_summaryLive = true;
    UpdateSelectionSummary();
}

void MainWindow::OnFileItemChanged(int row, bool wasSelected, bool isSelected) {
    MediaRecord* record = m_catalog.GetRecord(FileList().ItemData(row));
    if (record != nullptr && isSelected != wasSelected) {
        if (isSelected)
            m_selectedBytes += record->size;
        else
            m_selectedBytes -= record->size;
    }
    const int n = FileList().SelectedCount();
    if (n == 0) {
        InfoList().DeleteAllRows();
        m_mediaFile.Close();
    } else if (n == 1 && record != nullptr) {
        const std::string ending = lastThree(FileList().Text(row, 0));
        char compression[30];
        if (ending == "omf" || ending == "aif" || ending == "wav" || ending == "mxf") {
            ShowMediaInfo(record);
            FileList().SetText(row, 2, record->nameInBin);
            if (record->compressionCode != 0)
                FileList().SetText(
                    row, 6,
                    CompressionName(record->compressionCode, compression, sizeof compression));
            if (ending != "mxf")
                FileList().SetText(row, 8, record->sourceName);
        } else {
            InfoList().DeleteAllRows();
            m_mediaFile.Close();
        }
    }
    UpdateSelectionSummary();
}

void MainWindow::ShowMediaInfo(MediaRecord* record) {
    InfoList().DeleteAllRows();
    m_mediaFile.Close();
    if (record == nullptr)
        return;
    if (!m_mediaFile.Open(MediaCatalog::FullPath(*record).c_str()))
        return;
    m_mediaFile.CompositionName(record->nameInBin, sizeof record->nameInBin - 2);
    m_mediaFile.ReadMediaDescriptor(record);
    if (m_mediaFile.SourceName(record->sourceName, sizeof record->sourceName - 1) == 0)
        record->sourceName[0] = '\0';
}

void MainWindow::SortList(ListView& list, int column) {
    for (int c = list.ColumnCount() - 1; c >= 0; --c)
        list.SetHeaderMark(c, c == column ? m_headerMarkSorted : m_headerMarkPlain);
    auto text = [](const char* a, const char* b) { return strcasecmp(a, b); };
    auto larger = [](std::uint64_t a, std::uint64_t b) { return a == b ? 0 : (a > b ? -1 : 1); };
    if (&list == &ProjectList()) {
        std::unordered_map<std::uint32_t, std::string> names;
        for (int row = 0; row < list.RowCount(); ++row)
            names[list.ItemData(row)] = list.Text(row, 0).substr(0, 127);
        if (column == 0) {
            list.Sort([&](std::uint32_t a, std::uint32_t b) {
                return text(names[a].c_str(), names[b].c_str());
            });
        } else if (column == 1) {
            std::unordered_map<std::uint32_t, std::uint64_t> sizes;
            for (const auto& [number, name] : names) {
                const ProjectRecord* project = m_catalog.FindProject(name);
                sizes[number] = project != nullptr ? project->totalSize : 0;
            }
            list.Sort([&](std::uint32_t a, std::uint32_t b) { return larger(sizes[a], sizes[b]); });
        }
        return;
    }
    if (column == 3 || column < 0 || column > 8)
        return; // the status column is marked but not sorted
    list.Sort([&](std::uint32_t a, std::uint32_t b) {
        const MediaRecord* ra = m_catalog.GetRecord(a);
        const MediaRecord* rb = m_catalog.GetRecord(b);
        if (ra == nullptr || rb == nullptr)
            return 0;
        switch (column) {
        case 0:
            return text(ra->fileName, rb->fileName);
        case 1:
            return larger(ra->size, rb->size);
        case 2:
            return text(ra->nameInBin, rb->nameInBin);
        case 4:
            return text(ra->folder, rb->folder);
        case 5:
            return larger(ra->creationTime, rb->creationTime);
        case 6:
            return larger(ra->compressionCode, rb->compressionCode);
        case 7:
            return text(ra->projectName, rb->projectName);
        default:
            return text(ra->sourceName, rb->sourceName);
        }
    });
}
