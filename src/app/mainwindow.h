#pragma once
// The program's main window: the database tree and the buttons that load and
// scan on the left, the summary and project lists in the middle, the frame
// picture, the information list and the media file list on the right, the
// function-key labels at the bottom. Every command is a numbered command
// dispatched through one table.

#include "app/listview.h"
#include "feedback/templatedialog.h"
#include "mediadb/databaselist.h"
#include "mediadb/mediacatalog.h"
#include "omf/omfreader.h"

#include <QPixmap>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

class myCListCtrl;
class Progress;
class QAction;
class QMenu;
class QMenuBar;
class QTreeWidget;

// The database tree as the database list sees it.
class TreeCheckList : public CheckList {
public:
    explicit TreeCheckList(QTreeWidget* tree) : m_tree(tree) {}
    void Clear() override;
    void InsertFirst(const std::string& text, std::uint32_t number, bool checked) override;
    int Count() const override;
    std::uint32_t Number(int index) const override;
    bool Checked(int index) const override;
    void SetAllChecked(bool checked);

private:
    QTreeWidget* m_tree;
};

class MainWindow : public TemplateDialog {
    Q_OBJECT

public:
    // Commands of the function keys that have no menu item.
    static constexpr int ID_ANALYSE_SELECTED = 40001;
    static constexpr int ID_STORE_SELECTED = 40002;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Creates the window and runs its initialisation: discovery of the
    // databases, the menus, the lists. False when the window cannot be made.
    bool Initialise();

    // Connects a command id to its work; a command without work does nothing.
    void ConnectCommand(int id, std::function<void()> handler);
    void OnCommand(int id) override;

    // Services for long operations.
    bool CheckCancel();
    void DisableControls();
    void EnableControls();
    OmfReader& CurrentMediaFile() { return m_mediaFile; }

    // Commands.
    void Scan();
    void AddMediaDatabase();
    void RefreshList();
    void DeleteSelectedDatabases();
    void SetAllDatabaseChecks(bool checked);
    void CopyPathToClipboard();
    void OpenMediaFile(int row);
    void ShowConsole();

    // The lists.
    void FillProjectList();
    void FillSummaryList();
    void MarkHeadersPlain(ListView& list);
    void UpdateSelectionSummary();
    void SelectAllRows(ListView& list);
    void AddProjectFilesToList(const std::string& project, ListView& list, Progress* progress);
    void RemoveProjectFilesFromList(const std::string& project, ListView& list, Progress* progress);
    void SortList(ListView& list, int column);
    // Reads a media file's facts into its record (clip name, compression,
    // source); no record empties the information list and closes the file.
    void ShowMediaInfo(MediaRecord* record);

    myCListCtrl& ProjectList() const;
    myCListCtrl& FileList() const;
    ListView& SummaryList() const;
    ListView& InfoList() const;
    QTreeWidget& DatabaseTree() const;
    QAction* MenuAction(int command) const;
    QMenu* ContextMenu(int index) const;
    MediaCatalog& Catalog() { return m_catalog; }
    DatabaseList& Databases() { return m_databases; }
    bool VerifyFiles() const { return m_verifyFiles; }
    bool ConfirmMove() const { return m_confirmMove; }
    bool ConfirmDelete() const { return m_confirmDelete; }
    std::uint64_t SelectedBytes() const { return m_selectedBytes; }
    int MinWidth() const { return m_minWidth; }
    int MinHeight() const { return m_minHeight; }
    int ChromeHeight() const { return m_chromeHeight; }

    // How a pop-up menu is shown and a file opened; tests replace them.
    std::function<QAction*(QMenu& menu, QPoint globalPosition)> m_popUp;
    std::function<void(const std::string& path)> m_openFile;

protected:
    QWidget* CreateControl(const res::ControlTemplate& control) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildMenus();
    void ConnectLists();
    void LayoutControls();
    void ApplyMinimumSize();
    void ToggleOption(bool& option, int command);
    void OnProjectItemChanged(int row, bool wasSelected, bool isSelected);
    void OnFileItemChanged(int row, bool wasSelected, bool isSelected);
    void OnFileListKey(int key);
    void ShowFileListMenu(QPoint position);
    void ShowProjectListMenu(QPoint position);
    void ClearFileAndProjectLists();
    void SetControlsEnabled(bool enabled);
    // Starts adding or removing a project's rows: puts the catalog's cursor
    // on its first file, hides the list, shows the progress window with the
    // caption. Returns the project's file count.
    std::uint64_t BeginProjectRows(const std::string& project, ListView& list, Progress* progress,
                                   const std::string& caption);
    void InstallFileListColumns();
    QAction* PopUp(QMenu& menu, QPoint globalPosition);

    OmfReader m_mediaFile;
    bool m_summaryLive = false;
    QPixmap m_icon;
    QMenuBar* m_menu = nullptr;
    std::unique_ptr<QMenu> m_contextMenus[2];
    DatabaseList m_databases;
    MediaCatalog m_catalog;
    int m_minWidth = 0;
    int m_minHeight = 0;
    int m_chromeHeight = 0;
    QPixmap m_headerMarkSorted;
    QPixmap m_headerMarkPlain;
    bool m_verifyFiles = true;
    bool m_confirmDelete = true;
    bool m_confirmMove = true;
    std::uint64_t m_selectedBytes = 0;
    QSize m_lastSize;

    std::unordered_map<int, std::function<void()>> m_handlers;
    std::unordered_map<int, QAction*> m_actions;
};
