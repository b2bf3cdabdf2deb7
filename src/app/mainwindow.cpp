#include "app/mainwindow.h"

#include "app/application.h"
#include "app/hardwaretooldlg.h"
#include "app/listexport.h"
#include "app/omfinfodlg.h"
#include "app/storedlg.h"
#include "app/workingwindow.h"
#include "feedback/log.h"
#include "feedback/prompter.h"
#include "mediadb/mediaendings.h"
#include "mediadb/mxffacts.h"
#include "omf/mediafacts.h"
#include "platform/builddate.h"
#include "platform/fileoperation.h"
#include "platform/qtext.h"
#include "resources/bitmaps.h"
#include "resources/menus.h"
#include "resources/stringtable.h"
#include "widgets/debugconsole.h"
#include "widgets/picturecontrol.h"
#include "widgets/pixelart.h"
#include "widgets/progresswindow.h"
#include "widgets/sortablelistview.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSlider>
#include <QTreeWidget>
#include <QUrl>
#include <QWheelEvent>

namespace {

// Holds keyboard input while a long operation runs: key presses are counted
// and consumed, mouse input to the busy window is dropped but for opening
// its menus and their Show Console.
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
            if (widget == nullptr)
                return false;
            // The menus open, but of their commands only Show Console runs:
            // an editor may want to watch a long run.
            const QAction* action = nullptr;
            if (auto* bar = qobject_cast<QMenuBar*>(widget))
                action = bar->actionAt(mousePosition(event));
            else if (auto* menu = qobject_cast<QMenu*>(widget))
                action = menu->actionAt(mousePosition(event));
            else
                return widget->window() == m_window;
            return action != nullptr && action->menu() == nullptr &&
                   action->data().toInt() != res::ID_SHOW_CONSOLE;
        }
        default:
            return false;
        }
    }

private:
    static QPoint mousePosition(const QEvent* event) {
        if (event->type() == QEvent::Wheel)
            return static_cast<const QWheelEvent*>(event)->position().toPoint();
        return static_cast<const QMouseEvent*>(event)->position().toPoint();
    }

    QWidget* m_window;
};

// Grows the summary list until its header and three rows show whole; the
// project list below gives up the room.
void fitSummaryList(ListView& summary, QWidget& below) {
    const int needed = summary.horizontalHeader()->sizeHint().height() +
                       3 * summary.verticalHeader()->defaultSectionSize() +
                       2 * summary.frameWidth();
    const int extra = needed - summary.height();
    if (extra <= 0)
        return;
    summary.resize(summary.width(), needed);
    QRect rest = below.geometry();
    rest.setTop(rest.top() + extra);
    below.setGeometry(rest);
}

// The selected rows of the media file list, as the file operations walk them.
class FileListRows final : public FileSelection {
public:
    explicit FileListRows(ListView& list) : m_list(list) {}
    int FirstSelected() const override { return m_list.FirstSelected(); }
    std::uint32_t CatalogIndex(int row) const override { return m_list.ItemData(row); }
    void SetStatus(int row, const std::string& text) override {
        m_list.SetText(row, static_cast<int>(MediaColumn::Status), text);
    }
    void Deselect(int row) override { m_list.SetSelected(row, false); }

private:
    ListView& m_list;
};

} // namespace

bool WorkingWindow::Start() {
    if (!CreateFromTemplate(res::IDD_WORKING))
        return false;
    show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}

MainWindow::MainWindow(Services& services, QWidget* parent)
    : TemplateDialog(parent), m_services(services), m_icon(IconPixmap(res::IDI_PROGRAM)) {
    m_popUp = [](QMenu& menu, QPoint at) { return menu.exec(at); };
    m_runModal = [](QDialog& dialog) { dialog.exec(); };
    m_openFile = [](const std::string& path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(ToQt(path)));
    };
    ConnectCommand(res::IDC_SCAN, [this] { Scan(); });
    ConnectCommand(res::ID_SCAN, [this] { Scan(); });
    ConnectCommand(res::ID_ADD_DATABASE, [this] { AddMediaDatabase(); });
    ConnectCommand(res::ID_SCAN_FOLDER, [this] { ScanMediaFolder(); });
    ConnectCommand(res::IDC_SCAN_FOLDER, [this] { ScanMediaFolder(); });
    ConnectCommand(res::IDC_SCAN_BIN, [this] { ScanBin(); });
    ConnectCommand(res::ID_EXIT, [this] { accept(); });
    ConnectCommand(res::ID_VERIFY_FILES, [this] {
        ToggleOption(m_verifyFiles, res::ID_VERIFY_FILES);
        Scan();
    });
    ConnectCommand(res::ID_CONFIRM_MOVE,
                   [this] { ToggleOption(m_confirmMove, res::ID_CONFIRM_MOVE); });
    ConnectCommand(res::ID_CONFIRM_DELETE,
                   [this] { ToggleOption(m_confirmDelete, res::ID_CONFIRM_DELETE); });
    ConnectCommand(res::ID_READ_MXF, [this] {
        ToggleOption(m_readMxf, res::ID_READ_MXF);
        m_catalog.SetReadMxf(m_readMxf);
        m_info->SetReadMxf(m_readMxf);
    });
    ConnectCommand(res::ID_SHOW_CONSOLE, [this] { ShowConsole(); });
    ConnectCommand(res::ID_EXPORT_MEDIA_LIST, [this] {
        ExportList("Export Media List", "media files.csv",
                   [this] { return MediaListCsv(m_lists->FileList(), m_catalog); });
    });
    ConnectCommand(res::ID_EXPORT_PROJECT_LIST, [this] {
        ExportList("Export Project List", "projects.csv",
                   [this] { return ProjectListCsv(m_lists->ProjectList(), m_catalog); });
    });
    ConnectCommand(res::IDC_REFRESH, [this] { RefreshList(); });
    ConnectCommand(res::IDC_SELECT_ALL, [this] { m_databases->SetAllChecked(true); });
    ConnectCommand(res::IDC_DESELECT_ALL, [this] { m_databases->SetAllChecked(false); });
    ConnectCommand(res::IDC_DELETE_DATABASES, [this] { DeleteSelectedDatabases(); });
    ConnectCommand(res::ID_COPY_PATH, [this] { CopyPathToClipboard(); });
    ConnectCommand(res::ID_COPY_FILES, [this] { m_fileOperations->CopySelectedFiles(); });
    ConnectCommand(res::ID_MOVE_FILES, [this] { m_fileOperations->MoveSelectedFiles(); });
    ConnectCommand(res::ID_DELETE_FILES, [this] { m_fileOperations->DeleteSelectedFiles(); });
    ConnectCommand(res::ID_DELETE_PROJECT_MEDIA,
                   [this] { m_fileOperations->DeleteProjectMedia(); });
    ConnectCommand(ID_STORE_SELECTED, [this] { StoreSelectedFiles(); });
    ConnectCommand(ID_ANALYSE_SELECTED, [this] { AnalyseSelectedFiles(); });
    ConnectCommand(res::ID_OMF_INFO_TOOL, [this] {
        CloseCurrentMediaFile();
        OmfInfoDlg dialog(m_services, {}, this);
        if (dialog.Create())
            m_runModal(dialog);
    });
    ConnectCommand(res::ID_SHOW_OMF_INFO, [this] {
        ListView& files = m_lists->FileList();
        const int row = files.FirstSelected();
        const MediaRecord* record = row >= 0 ? m_catalog.GetRecord(files.ItemData(row)) : nullptr;
        if (record == nullptr)
            return;
        OmfInfoDlg dialog(m_services, MediaCatalog::FullPath(*record), this);
        if (dialog.Create())
            m_runModal(dialog);
    });
    auto hardwareTool = [this] {
        HardwareToolDlg dialog(m_services, this);
        if (dialog.Create())
            m_runModal(dialog);
    };
    ConnectCommand(res::IDC_HARDWARE_TOOL, hardwareTool);
    ConnectCommand(res::ID_HARDWARE_TOOL, hardwareTool);
    ConnectCommand(res::ID_APP_ABOUT, [this] {
        AboutDlg dialog(this);
        if (dialog.Create())
            m_runModal(dialog);
    });
    ConnectCommand(res::ID_STORE_PROJECTS, [this] {
        SelectAllFiles();
        StoreSelectedFiles();
    });
    m_storeDialog = [this]() -> std::optional<StoreOptions> {
        StoreDlg dialog(m_services.prompter, this);
        if (!dialog.Create() || dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.Options();
    };
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
    auto* tree = ControlAs<QTreeWidget>(res::IDC_DATABASE_TREE);
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
        m_catalog, *m_info, this);
    m_fileRows = std::make_unique<FileListRows>(*files);
    m_fileOperations =
        std::make_unique<FileOperationRun>(m_catalog, *m_fileRows, *this, m_services.prompter);
    ConnectControls();

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
    setMinimumSize(m_minWidth, m_minHeight);
    resize(outer.width(), height + 1);

    if (!m_icon.isNull())
        setWindowIcon(QIcon(m_icon));
    setWindowTitle(QStringLiteral("Tolvane for AVID applications ( build ") +
                   QString::fromLatin1(platform::BuildDate()) + QStringLiteral(" )"));
    m_verifyFiles = m_confirmDelete = m_confirmMove = m_readMxf = true;
    m_catalog.SetReadMxf(true);
    m_info->SetReadMxf(true);

    m_databases->Discover(m_services.volumes());
    m_catalog.Reset();
    m_lists->SetUp();
    fitSummaryList(*summary, *projects);
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

void MainWindow::ToggleOption(bool& option, int command) {
    option = !option;
    if (QAction* action = MenuAction(command))
        action->setChecked(option);
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
    m_info->FitColumns();
    m_lastSize = outer;
}

// ---- commands ------------------------------------------------------------

void MainWindow::Scan() {
    std::vector<SearchProblem> problems;
    const std::vector<std::string> databases =
        DatabasesThatAnswer(m_databases->CheckedPaths(), m_services.volumes(), problems);
    m_lists->ResetSelectedBytes();
    m_lists->ClearFileAndProjectLists();
    auto progress = ProgressWindow::Start(this, res::IDD_PROGRESS);
    m_catalog.Reset();
    for (const std::string& path : databases)
        m_catalog.LoadDatabase(path, !m_verifyFiles, progress.get());
    progress.reset();
    ShowLoadedCatalog();
}

void MainWindow::ShowLoadedCatalog() {
    m_info->Clear();
    m_lists->FillProjectList();
    m_lists->FillSummaryList();
    m_lists->MarkHeadersPlain(m_lists->FileList());
    m_lists->MarkHeadersPlain(m_lists->ProjectList());
}

void MainWindow::ScanMediaFolder() {
    CloseCurrentMediaFile();
    m_databases->SetAllChecked(false);
    const std::optional<std::string> folder = BrowseForFolder(m_services.prompter);
    if (!folder)
        return;
    m_lists->ClearFileAndProjectLists();
    auto progress = ProgressWindow::Start(this, res::IDD_PROGRESS);
    m_catalog.ScanMediaFolder(*folder, progress.get(), this);
    progress.reset();
    ShowLoadedCatalog();
}

void MainWindow::ScanBin() {
    CloseCurrentMediaFile();
    m_databases->SetAllChecked(false);
    const std::optional<std::string> bin = m_services.prompter.openFileName("", "AVID Bin (*.avb)");
    if (!bin)
        return;
    m_lists->ClearFileAndProjectLists();
    auto progress = ProgressWindow::Start(this, res::IDD_PROGRESS);
    m_catalog.ScanBin(*bin, progress.get(), this, m_services.volumes());
    progress.reset();
    ShowLoadedCatalog();
}

void MainWindow::AddMediaDatabase() {
    m_lists->ClearFileAndProjectLists();
    m_info->Clear();
    if (const auto path = m_services.prompter.openFileName("", "AVID Media Database (*.pmr)"))
        m_databases->Add(*path);
}

void MainWindow::RefreshList() {
    WorkingWindow working;
    working.Start();
    m_databases->Discover(m_services.volumes());
}

void MainWindow::DeleteSelectedDatabases() {
    if (m_databases->CheckedPaths().empty())
        return;
    if (m_services.prompter.ask({"All selected media databases and indexes will be "
                                 "deleted\nThis action can not be undone!!!",
                                 "Are You sure?",
                                 MsgButtons::YesNo,
                                 MsgIcon::Question,
                                 {}}) != MsgAnswer::Yes)
        return;
    PromptingFileOpUi ui(m_services.prompter);
    m_databases->DeleteChecked(ui, m_services.volumes());
}

void MainWindow::CopyPathToClipboard() {
    ListView& files = m_lists->FileList();
    const int row = files.FirstSelected();
    if (row < 0)
        return;
    const MediaRecord* record = m_catalog.GetRecord(files.ItemData(row));
    if (record == nullptr)
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        Log("Cannot open the Clipboard");
        return;
    }
    clipboard->setText(ToQt(record->folder));
    if (clipboard->text() != ToQt(record->folder))
        Log("Unable to set Clipboard data");
}

void MainWindow::OpenMediaFile(int row) {
    const std::string name = m_lists->FileList().Text(row, static_cast<int>(MediaColumn::FileName));
    if (!HasMediaEnding(name, kEndingOpened))
        return;
    if (const MediaRecord* record = m_catalog.FindFileByName(name); record != nullptr && m_openFile)
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

void MainWindow::ExportList(const std::string& title, const std::string& suggestedName,
                            const std::function<std::string()>& csv) {
    const std::optional<std::string> path =
        m_services.prompter.saveFileName(title, "CSV files (*.csv)", suggestedName);
    if (!path)
        return;
    std::string error;
    if (platform::WriteWholeFile(*path, csv(), error))
        Log("Exported to " + *path);
    else
        Tell(m_services.prompter, "Could not write " + *path + ":\n" + error, title);
}

void MainWindow::StoreSelectedFiles() {
    CloseCurrentMediaFile();
    if (m_lists->FileList().SelectedCount() == 0)
        return;
    const std::optional<StoreOptions> options = m_storeDialog ? m_storeDialog() : std::nullopt;
    if (options)
        m_fileOperations->StoreSelectedFiles(*options, m_services.volumes());
}

void MainWindow::AnalyseSelectedFiles() {
    CloseCurrentMediaFile();
    ListView& files = m_lists->FileList();
    const std::vector<int> rows = files.SelectedRows();
    auto progress = ProgressWindow::Start(this, res::IDD_PROGRESS);
    DisableControls();
    OmfReader reader;
    MxfReader mxf;
    std::uint64_t done = 0;
    for (int row : rows) {
        if (CheckCancel())
            break;
        PumpOneMessage();
        if (progress != nullptr)
            progress->Step(done++, rows.size());
        MediaRecord* record = m_catalog.GetRecord(files.ItemData(row));
        if (record == nullptr || record->attributes == -1)
            continue;
        if (m_readMxf && MediaInfoPanel::OpenMxfFile(mxf, *record)) {
            StoreMxfFacts(mxf.Facts(), *record);
            mxf.Close();
        } else if (MediaInfoPanel::OpenMediaFile(reader, *record)) {
            MediaInfoPanel::StoreFacts(ReadMediaFacts(reader), *record);
            reader.Close();
        } else {
            continue;
        }
        files.SetText(row, static_cast<int>(MediaColumn::NameInBin), record->nameInBin);
        files.SetText(row, static_cast<int>(MediaColumn::SourceName), record->sourceName);
        if (record->compressionCode != 0 || record->codecName[0] != '\0')
            files.SetText(row, static_cast<int>(MediaColumn::Compression),
                          MediaColumnText(*record, MediaColumn::Compression));
    }
    EnableControls();
}

void MainWindow::CloseCurrentMediaFile() {
    m_info->CloseMediaFile();
}

void MainWindow::SetBusy(bool busy) {
    SetControlsEnabled(!busy);
}

void MainWindow::PumpOneMessage() {
    // Keeps the window painted between two files; what the user types is
    // left for the cancel question.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

std::unique_ptr<Progress> MainWindow::StartProgress(const std::string& caption) {
    std::unique_ptr<ProgressWindow> window = ProgressWindow::Start(this, res::IDD_PROGRESS);
    if (window != nullptr)
        window->SetText(caption);
    return window;
}

std::uint64_t MainWindow::SelectedBytes() const {
    return m_lists->SelectedBytes();
}

void MainWindow::SelectAllFiles() {
    m_lists->SelectAllRows(m_lists->FileList());
}

bool MainWindow::CheckCancel() {
    BusyInputFilter filter(this);
    qApp->installEventFilter(&filter);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&filter);
    for (int i = 0; i < filter.keys; ++i) {
        if (m_services.prompter.ask({"Do you want to cancel current task?",
                                     "Orrin",
                                     MsgButtons::YesNo,
                                     MsgIcon::Question,
                                     {}}) == MsgAnswer::Yes)
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
        if (QWidget* c = Control(id))
            c->setEnabled(enabled);
    }
}
