#include "app/mainwindow.h"

#include "app/aboutdlg.h"
#include "app/application.h"
#include "app/findbar.h"
#include "app/hardwaretooldlg.h"
#include "app/historydlg.h"
#include "app/listexport.h"
#include "app/omfinfodlg.h"
#include "app/storedlg.h"
#include "app/workingwindow.h"
#include "feedback/log.h"
#include "feedback/prompter.h"
#include "io/journal.h"
#include "mediadb/mediaendings.h"
#include "platform/builddate.h"
#include "platform/qtext.h"
#include "resources/bitmaps.h"
#include "resources/menus.h"
#include "resources/stringtable.h"
#include "widgets/debugconsole.h"
#include "widgets/picturecontrol.h"
#include "widgets/pixelart.h"
#include "widgets/sortablelistview.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QTreeView>
#include <QUrl>

MainWindow::MainWindow(Services& services, QWidget* parent)
    : TemplateDialog(parent), m_services(services),
      m_session(services.prompter, [&services] { return services.volumes(); }),
      m_jobs(*this, services.prompter, [this](bool busy) { SetControlsEnabled(!busy); }),
      m_icon(IconPixmap(res::IDI_PROGRAM)) {
    m_popUp = [](QMenu& menu, QPoint at) { return menu.exec(at); };
    m_runModal = [](QDialog& dialog) { dialog.exec(); };
    m_openFile = [](const std::string& path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(ToQt(path)));
    };
    m_storeDialog = [this]() -> std::optional<StoreOptions> {
        StoreDlg dialog(m_services.prompter, this);
        if (!dialog.Create() || dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.Options();
    };
    ConnectCommands();
}

MainWindow::~MainWindow() = default;

template <typename Dialog, typename... Args> void MainWindow::RunDialog(Args&&... args) {
    Dialog dialog(std::forward<Args>(args)...);
    if (dialog.Create())
        m_runModal(dialog);
}

void MainWindow::ConnectCommands() {
    // A job that works on the selected media files closes the file the
    // information panel holds open first.
    auto onFiles = [this](void (CatalogSession::*job)(FileSelection&, JobContext&)) {
        return [this, job] {
            m_info->CloseMediaFile();
            (m_session.*job)(*m_lists, m_jobs);
        };
    };
    ConnectCommand(res::IDC_SCAN, [this] { Scan(); });
    ConnectCommand(res::ID_SCAN, [this] { Scan(); });
    ConnectCommand(res::ID_ADD_DATABASE, [this] {
        m_lists->ClearFileAndProjectLists();
        m_info->Clear();
        if (const auto path = m_services.prompter.openFileName("", "AVID Media Database (*.pmr)"))
            m_databases->Add(*path);
    });
    ConnectCommand(res::ID_SCAN_FOLDER, [this] { ScanWithoutDatabases(false); });
    ConnectCommand(res::IDC_SCAN_FOLDER, [this] { ScanWithoutDatabases(false); });
    ConnectCommand(res::IDC_SCAN_BIN, [this] { ScanWithoutDatabases(true); });
    ConnectCommand(res::ID_EXIT, [this] { accept(); });
    ConnectCommand(res::ID_VERIFY_FILES, [this] {
        ToggleOption(&Options::verifyFiles, res::ID_VERIFY_FILES);
        Scan();
    });
    ConnectCommand(res::ID_CONFIRM_MOVE,
                   [this] { ToggleOption(&Options::confirmMove, res::ID_CONFIRM_MOVE); });
    ConnectCommand(res::ID_CONFIRM_DELETE,
                   [this] { ToggleOption(&Options::confirmDelete, res::ID_CONFIRM_DELETE); });
    ConnectCommand(res::ID_READ_MXF, [this] {
        ToggleOption(&Options::readMxf, res::ID_READ_MXF);
        m_info->SetReadMxf(ReadMxf());
    });
    ConnectCommand(res::ID_SHOW_CONSOLE, [this] { ShowConsole(); });
    ConnectCommand(res::ID_EXPORT_MEDIA_LIST, [this] {
        m_session.ExportList("Export Media List", "media files.csv",
                             [this] { return MediaListCsv(m_lists->FileList(), Catalog()); });
    });
    ConnectCommand(res::ID_OPERATION_HISTORY, [this] {
        RunDialog<HistoryDlg>(
            JournalPath(),
            [this](const std::function<std::string()>& csv) {
                m_session.ExportList("Export Operation History", "operation history.csv", csv);
            },
            this);
    });
    ConnectCommand(res::ID_EXPORT_PROJECT_LIST, [this] {
        m_session.ExportList("Export Project List", "projects.csv",
                             [this] { return ProjectListCsv(m_lists->ProjectList(), Catalog()); });
    });
    ConnectCommand(res::IDC_REFRESH, [this] {
        WorkingWindow working;
        working.Start();
        m_databases->Discover(m_services.volumes());
    });
    ConnectCommand(res::IDC_SELECT_ALL, [this] { m_databases->SetAllChecked(true); });
    ConnectCommand(res::IDC_DESELECT_ALL, [this] { m_databases->SetAllChecked(false); });
    ConnectCommand(res::IDC_DELETE_DATABASES, [this] {
        m_databases->DeleteChecked(m_services.prompter, m_services.volumes());
    });
    ConnectCommand(res::ID_COPY_PATH, [this] { m_lists->CopyPathToClipboard(); });
    ConnectCommand(res::ID_COPY_FILES, onFiles(&CatalogSession::CopyFiles));
    ConnectCommand(res::ID_MOVE_FILES, onFiles(&CatalogSession::MoveFiles));
    // Rows listed from the duplicates keep the last copy of each group.
    ConnectCommand(res::ID_DELETE_FILES, onFiles(&CatalogSession::DeleteFiles));
    ConnectCommand(res::ID_DELETE_PROJECT_MEDIA, onFiles(&CatalogSession::DeleteProjectMedia));
    ConnectCommand(res::ID_FIND_DUPLICATES, [this] {
        m_info->CloseMediaFile();
        m_lists->ShowDuplicates(m_session.FindDuplicates(m_jobs));
    });
    ConnectCommand(ID_ANALYSE_SELECTED, onFiles(&CatalogSession::AnalyseFiles));
    ConnectCommand(ID_STORE_SELECTED, [this] { StoreSelectedFiles(); });
    ConnectCommand(res::ID_STORE_PROJECTS, [this] {
        if (m_lists->ShowsDuplicates()) {
            m_session.RefuseProjectStoreOfDuplicates();
            return;
        }
        m_lists->SelectAll();
        StoreSelectedFiles();
    });
    ConnectCommand(res::ID_OMF_INFO_TOOL, [this] {
        m_info->CloseMediaFile();
        RunDialog<OmfInfoDlg>(m_services, std::string(), this);
    });
    ConnectCommand(res::ID_SHOW_OMF_INFO, [this] {
        if (const MediaRecord* record = m_lists->FirstSelectedRecord())
            RunDialog<OmfInfoDlg>(m_services, MediaCatalog::FullPath(*record), this);
    });
    ConnectCommand(res::IDC_HARDWARE_TOOL,
                   [this] { RunDialog<HardwareToolDlg>(m_services, this); });
    ConnectCommand(res::ID_HARDWARE_TOOL, [this] { RunDialog<HardwareToolDlg>(m_services, this); });
    ConnectCommand(res::ID_APP_ABOUT, [this] { RunDialog<AboutDlg>(this); });
    ConnectCommand(res::ID_FIND, [this] { OpenFindBar(); });
}

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
        return new SortableListView(Client());
    case res::IDC_PICTURE:
        return new PictureControl(Client());
    case res::IDC_SUMMARY_LIST:
    case res::IDC_INFO_LIST: {
        auto* list = new ListView(Client());
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

QMenu* MainWindow::ContextMenu(ContextMenuKind kind) const {
    const auto index = static_cast<std::size_t>(kind);
    return index < m_contextMenus.size() ? m_contextMenus[index].get() : nullptr;
}

bool MainWindow::Initialise() {
    m_minWidth = m_minHeight = m_chromeHeight = 0;
    WorkingWindow working;
    working.Start();
    if (!CreateFromTemplate(res::IDD_MAIN))
        return false;

    auto* summary = ControlAs<ListView>(res::IDC_SUMMARY_LIST);
    auto* projects = ControlAs<SortableListView>(res::IDC_PROJECT_LIST);
    auto* files = ControlAs<SortableListView>(res::IDC_FILE_LIST);
    auto* info = ControlAs<ListView>(res::IDC_INFO_LIST);
    auto* tree = ControlAs<QTreeView>(res::IDC_DATABASE_TREE);
    auto* picture = ControlAs<PictureControl>(res::IDC_PICTURE);
    auto* slider = ControlAs<QSlider>(res::IDC_FRAME_SLIDER);
    if (summary == nullptr || projects == nullptr || files == nullptr || info == nullptr ||
        tree == nullptr || picture == nullptr || slider == nullptr)
        return false;
    m_databases = std::make_unique<DatabasePanel>(*tree);
    m_info = std::make_unique<MediaInfoPanel>(*info, *picture, *slider);
    m_lists = std::make_unique<CatalogLists>(
        CatalogLists::Controls{*summary, *projects, *files, ControlAs<QLabel>(res::IDC_FILE_COUNT),
                               ControlAs<QLabel>(res::IDC_SELECTION_SUMMARY)},
        Catalog(), *m_info, this);
    ConnectControls();
    // The find bar is hidden until asked for: the window's layout is the
    // template's.
    m_findBar = FindBar::Over(Client(), Control(res::IDC_FILE_LIST), m_lists.get());

    // Sizes are the window's own, without the window manager's frame, which
    // is not known before the window is shown and varies between desktops.
    const QSize outer = size();
    const int clientHeight = Client()->height();
    m_minWidth = outer.width();
    m_minHeight = outer.height();
    m_chromeHeight = outer.height() - clientHeight - 5;
    int height = outer.height();
    if (QMenuBar* bar = BuildMenuBar(res::IDR_MAIN_MENU)) {
        // The template has no menu: the window grows by the bar's height.
        const int barHeight = bar->sizeHint().height();
        m_minHeight = outer.height() + barHeight;
        m_chromeHeight = outer.height() + barHeight - clientHeight;
        height += barHeight;
    }
    m_contextMenus = BuildPopUpMenus(res::IDR_CONTEXT_MENUS);
    InstallAccelerators(res::IDR_ACCELERATORS);
    InstallAccelerators(res::IDR_WINDOW_ACCELERATORS);
    setMinimumSize(m_minWidth, m_minHeight);
    resize(outer.width(), height + 1);

    if (!m_icon.isNull())
        setWindowIcon(QIcon(m_icon));
    setWindowTitle(QStringLiteral("Tolvane for AVID applications ( build ") +
                   QString::fromLatin1(platform::BuildDate()) + QStringLiteral(" )"));
    m_session.SetOptions(Options{});
    m_info->SetReadMxf(true);

    m_databases->Discover(m_services.volumes());
    Catalog().Reset();
    m_lists->SetUp();
    m_lists->FitSummaryList();
    m_info->SetUpColumns();
    LogResource(res::IDS_DLG_INIT_COMPLETE);
    return true;
}

void MainWindow::ConnectControls() {
    SortableListView& files = m_lists->FileList();
    SortableListView& projects = m_lists->ProjectList();
    connect(&files, &ListView::rightClicked, this, &MainWindow::ShowFileListMenu);
    connect(&projects, &ListView::rightClicked, this, &MainWindow::ShowProjectListMenu);
    connect(&files, &ListView::rowDoubleClicked, this, &MainWindow::OpenMediaFile);
    connect(&files, &ListView::keyDown, this, &MainWindow::OnFileListKey);
}

void MainWindow::ToggleOption(bool Options::*option, int command) {
    Options options = m_session.GetOptions();
    options.*option = !(options.*option);
    m_session.SetOptions(options);
    if (QAction* action = MenuAction(command))
        action->setChecked(options.*option);
}

void MainWindow::ShowConsole() {
    if (DebugConsole* console = m_services.console) {
        console->show();
        console->raise();
        console->activateWindow();
    }
}

// ---- layout --------------------------------------------------------------

void MainWindow::resizeEvent(QResizeEvent* event) {
    TemplateDialog::resizeEvent(event);
    LayoutControls();
}

void MainWindow::LayoutControls() {
    if (Client() == nullptr || m_info == nullptr)
        return;
    const QSize outer = size();
    if (outer == m_lastSize)
        return;
    const int w = outer.width();
    const int h = outer.height();
    auto place = [this](int id, const std::function<QRect(QRect)>& change) {
        if (QWidget* c = Control(id))
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
    if (m_findBar != nullptr)
        m_findBar->FitToList();
    m_info->FitColumns();
    m_lastSize = outer;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // While the find bar is open, Escape closes it wherever the focus is.
    if (event->key() == Qt::Key_Escape && m_findBar != nullptr && m_findBar->isVisible()) {
        CloseFindBar();
        return;
    }
    TemplateDialog::keyPressEvent(event);
}

void MainWindow::OpenFindBar() {
    if (m_findBar != nullptr)
        m_findBar->Open();
}

void MainWindow::CloseFindBar() {
    if (m_findBar != nullptr)
        m_findBar->Close();
}

// ---- commands ------------------------------------------------------------

void MainWindow::Scan() {
    const std::vector<std::string> databases = m_databases->CheckedPaths();
    m_lists->ResetSelectedBytes();
    m_lists->ClearFileAndProjectLists();
    // What could not be loaded is in the log.
    m_session.Scan(databases, m_jobs);
    ShowLoadedCatalog();
}

void MainWindow::ShowLoadedCatalog() {
    m_info->Clear();
    m_lists->FillProjectList();
    m_lists->FillSummaryList();
    m_lists->MarkHeadersPlain(m_lists->FileList());
    m_lists->MarkHeadersPlain(m_lists->ProjectList());
}

void MainWindow::ScanWithoutDatabases(bool bin) {
    m_info->CloseMediaFile();
    m_databases->SetAllChecked(false);
    const std::optional<std::string> path =
        bin ? m_session.ChooseBin() : m_session.ChooseMediaFolder();
    if (!path)
        return;
    m_lists->ClearFileAndProjectLists();
    if (bin)
        m_session.ScanBin(*path, m_jobs);
    else
        m_session.ScanMediaFolder(*path, m_jobs);
    ShowLoadedCatalog();
}

void MainWindow::StoreSelectedFiles() {
    m_info->CloseMediaFile();
    if (m_lists->FileList().SelectedCount() == 0)
        return;
    if (const std::optional<StoreOptions> options = m_storeDialog ? m_storeDialog() : std::nullopt)
        m_session.StoreFiles(*m_lists, m_jobs, *options);
}

void MainWindow::OpenMediaFile(int row) {
    const std::string name = m_lists->FileList().Text(row, static_cast<int>(MediaColumn::FileName));
    if (!HasMediaEnding(name, kEndingOpened))
        return;
    if (const MediaRecord* record = Catalog().FindFileByName(name); record != nullptr && m_openFile)
        m_openFile(MediaCatalog::FullPath(*record));
}

void MainWindow::OnFileListKey(int key) {
    if (m_lists->FileList().SelectedCount() == 0)
        return;
    static const std::unordered_map<int, int> kFunctionKeys{
        {Qt::Key_F2, ID_ANALYSE_SELECTED},  {Qt::Key_F4, ID_STORE_SELECTED},
        {Qt::Key_F5, res::ID_COPY_FILES},   {Qt::Key_F6, res::ID_MOVE_FILES},
        {Qt::Key_F8, res::ID_DELETE_FILES},
    };
    if (const auto it = kFunctionKeys.find(key); it != kFunctionKeys.end())
        OnCommand(it->second);
}

QAction* MainWindow::PopUp(QMenu& menu, QPoint globalPosition) {
    QAction* chosen = m_popUp ? m_popUp(menu, globalPosition) : nullptr;
    if (chosen != nullptr && chosen->isEnabled())
        OnCommand(chosen->data().toInt());
    return chosen;
}

void MainWindow::ShowFileListMenu(QPoint position) {
    ListView& files = m_lists->FileList();
    QMenu* menu = ContextMenu(ContextMenuKind::MediaFiles);
    if (files.SelectedCount() == 0 || menu == nullptr)
        return;
    const bool one = files.SelectedCount() == 1;
    for (QAction* action : menu->actions()) {
        const int id = action->data().toInt();
        action->setEnabled(id == res::ID_COPY_PATH || id == res::ID_SHOW_OMF_INFO ? one : true);
    }
    PopUp(*menu, files.viewport()->mapToGlobal(position));
}

void MainWindow::ShowProjectListMenu(QPoint position) {
    ListView& projects = m_lists->ProjectList();
    QMenu* menu = ContextMenu(ContextMenuKind::Projects);
    if (projects.SelectedCount() == 0 || menu == nullptr)
        return;
    PopUp(*menu, projects.viewport()->mapToGlobal(position));
}

void MainWindow::SetControlsEnabled(bool enabled) {
    if (m_findBar != nullptr)
        m_findBar->SetBusy(!enabled);
    for (int id : {res::ID_SCAN, res::ID_ADD_DATABASE, res::ID_EXIT, res::ID_SCAN_FOLDER,
                   res::ID_VERIFY_FILES, res::ID_FIND_DUPLICATES}) {
        if (QAction* action = MenuAction(id))
            action->setEnabled(enabled);
    }
    for (int id : {res::IDC_SCAN, res::IDC_SCAN_FOLDER, res::IDC_SCAN_BIN, res::IDC_PROJECT_LIST,
                   res::IDC_FILE_LIST}) {
        if (QWidget* c = Control(id))
            c->setEnabled(enabled);
    }
}
