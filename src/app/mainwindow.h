#pragma once
// The program's main window, a frame of panels: the database panel on the
// left, the catalog lists in the middle and at the bottom right, the media
// information panel at the top right, the function-key labels at the bottom.
// The window keeps the command table, the layout and the wiring; every
// command is a numbered command dispatched through one table, and the long
// jobs run in the catalog's session, in the context the window gives them.

#include "app/cataloglists.h"
#include "app/databasepanel.h"
#include "app/mediainfopanel.h"
#include "app/services.h"
#include "session/catalogsession.h"
#include "widgets/templatedialog.h"
#include "widgets/windowjobs.h"

#include <QPixmap>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class FindBar;
class QMenu;

class MainWindow : public TemplateDialog {
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

    // Commands.
    void Scan();
    void OpenMediaFile(int row);
    // Runs the store dialog; nothing when the user cancels. Tests replace it.
    std::function<std::optional<StoreOptions>()> m_storeDialog;

    CatalogLists& Lists() { return *m_lists; }
    MediaInfoPanel& Info() { return *m_info; }
    DatabasePanel& DatabasesPanel() { return *m_databases; }
    JobContext& Jobs() { return m_jobs; }
    QMenu* ContextMenu(ContextMenuKind kind) const;
    // The find bar over the media file list; null when it could not be made.
    FindBar* Finder() const { return m_findBar; }
    // Opens the find bar (Ctrl+F) and puts the focus in its text.
    void OpenFindBar();
    // Closes it (Escape): every row of the selected projects shows again.
    void CloseFindBar();
    MediaCatalog& Catalog() { return m_session.Catalog(); }
    bool VerifyFiles() const { return m_session.GetOptions().verifyFiles; }
    bool ReadMxf() const { return m_session.GetOptions().readMxf; }
    bool ConfirmMove() const { return m_session.GetOptions().confirmMove; }
    // The smallest size of the window (without the window manager's frame).
    QSize MinimumWindowSize() const { return {m_minWidth, m_minHeight}; }

    // How a pop-up menu is shown and a file opened; tests replace them.
    std::function<QAction*(QMenu& menu, QPoint globalPosition)> m_popUp;
    std::function<void(const std::string& path)> m_openFile;
    // How a window is run modally; tests look at it instead.
    std::function<void(QDialog& dialog)> m_runModal;

protected:
    QWidget* CreateControl(const res::ControlTemplate& control) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ConnectCommands();
    void ConnectControls();
    // Runs a dialog of the window modally, when it can be made.
    template <typename Dialog, typename... Args> void RunDialog(Args&&... args);
    // The lists after the catalog was loaded anew.
    void ShowLoadedCatalog();
    void LayoutControls();
    void ToggleOption(bool Options::*option, int command);
    void OnFileListKey(int key);
    void ShowFileListMenu(QPoint position);
    void ShowProjectListMenu(QPoint position);
    void SetControlsEnabled(bool enabled);
    QAction* PopUp(QMenu& menu, QPoint globalPosition);
    // A media folder's or a bin's scan, as the user chooses it.
    void ScanWithoutDatabases(bool bin);
    void StoreSelectedFiles();
    void ShowConsole();

    Services& m_services;
    CatalogSession m_session;
    WindowJobs m_jobs;
    std::unique_ptr<DatabasePanel> m_databases;
    std::unique_ptr<MediaInfoPanel> m_info;
    std::unique_ptr<CatalogLists> m_lists;
    QPixmap m_icon;
    std::vector<std::unique_ptr<QMenu>> m_contextMenus;
    int m_minWidth = 0;
    int m_minHeight = 0;
    int m_chromeHeight = 0;
    QSize m_lastSize;
    FindBar* m_findBar = nullptr;

    std::unordered_map<int, std::function<void()>> m_handlers;
};
