#pragma once
// The program's main window, a frame of panels: the database panel on the
// left, the catalog lists in the middle and at the bottom right, the media
// information panel at the top right, the function-key labels at the bottom.
// The window keeps the command table, the layout and the wiring; every
// command is a numbered command dispatched through one table.

#include "app/cataloglists.h"
#include "app/databasepanel.h"
#include "app/mediainfopanel.h"
#include "app/services.h"
#include "fileops/mediafileops.h"
#include "mediadb/mediacatalog.h"
#include "widgets/templatedialog.h"

#include <QPixmap>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QMenu;
class QTreeWidget;

class MainWindow : public TemplateDialog, public OperationHost {
    Q_OBJECT

public:
    // Commands of the function keys that have no menu item.
    static constexpr int ID_ANALYSE_SELECTED = 40001;
    static constexpr int ID_STORE_SELECTED = 40002;
    // The context menus, in the order of their menu resource.
    enum class ContextMenuKind { MediaFiles = 0, Projects = 1 };

    explicit MainWindow(Services& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Creates the window and runs its initialisation: discovery of the
    // databases, the menus, the lists. False when the window cannot be made.
    bool Initialise();

    // Connects a command id to its work; a command without work does nothing.
    void ConnectCommand(int id, std::function<void()> handler);
    void OnCommand(int id) override;
    // Whether a command id has work connected to it.
    bool HasCommand(int id) const { return m_handlers.count(id) != 0; }

    // Services for long operations.
    bool CheckCancel() override;
    void DisableControls();
    void EnableControls();
    void CloseCurrentMediaFile() override;
    void SetBusy(bool busy) override;
    void PumpOneMessage() override;
    std::unique_ptr<Progress> StartProgress(const std::string& caption) override;
    std::uint64_t SelectedBytes() const override;
    bool ConfirmDelete() const override { return m_confirmDelete; }
    bool ConfirmMove() const override { return m_confirmMove; }
    void SelectAllFiles() override;

    // Commands.
    void Scan();
    void ScanMediaFolder();
    void ScanBin();
    void AddMediaDatabase();
    void RefreshList();
    void DeleteSelectedDatabases();
    void CopyPathToClipboard();
    void OpenMediaFile(int row);
    void ShowConsole();
    // Asks for a store's target and layout, then stores the selected files.
    void StoreSelectedFiles();
    // Asks where to and writes the CSV text there whole; says when it cannot.
    void ExportList(const std::string& title, const std::string& suggestedName,
                    const std::function<std::string()>& csv);
    // Reads the facts of every selected media file from the file itself.
    void AnalyseSelectedFiles();
    // Runs the store dialog; nothing when the user cancels. Tests replace it.
    std::function<std::optional<StoreOptions>()> m_storeDialog;

    CatalogLists& Lists() { return *m_lists; }
    MediaInfoPanel& Info() { return *m_info; }
    DatabasePanel& DatabasesPanel() { return *m_databases; }
    QMenu* ContextMenu(ContextMenuKind kind) const;
    MediaCatalog& Catalog() { return m_catalog; }
    bool VerifyFiles() const { return m_verifyFiles; }
    bool ReadMxf() const { return m_readMxf; }
    // The smallest size of the window (without the window manager's frame).
    QSize MinimumWindowSize() const { return {m_minWidth, m_minHeight}; }
    int ChromeHeight() const { return m_chromeHeight; }

    // How a pop-up menu is shown and a file opened; tests replace them.
    std::function<QAction*(QMenu& menu, QPoint globalPosition)> m_popUp;
    std::function<void(const std::string& path)> m_openFile;
    // How a window is run modally; tests look at it instead.
    std::function<void(QDialog& dialog)> m_runModal;

protected:
    QWidget* CreateControl(const res::ControlTemplate& control) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ConnectControls();
    // The lists after the catalog was loaded anew.
    void ShowLoadedCatalog();
    void LayoutControls();
    void ToggleOption(bool& option, int command);
    void OnFileListKey(int key);
    void ShowFileListMenu(QPoint position);
    void ShowProjectListMenu(QPoint position);
    void SetControlsEnabled(bool enabled);
    QAction* PopUp(QMenu& menu, QPoint globalPosition);

    Services& m_services;
    MediaCatalog m_catalog;
    std::unique_ptr<DatabasePanel> m_databases;
    std::unique_ptr<MediaInfoPanel> m_info;
    std::unique_ptr<CatalogLists> m_lists;
    std::unique_ptr<FileSelection> m_fileRows;
    std::unique_ptr<FileOperationRun> m_fileOperations;
    QPixmap m_icon;
    std::vector<std::unique_ptr<QMenu>> m_contextMenus;
    int m_minWidth = 0;
    int m_minHeight = 0;
    int m_chromeHeight = 0;
    bool m_verifyFiles = true;
    bool m_readMxf = true;
    bool m_confirmDelete = true;
    bool m_confirmMove = true;
    QSize m_lastSize;

    std::unordered_map<int, std::function<void()>> m_handlers;
};
