#pragma once
// A window built from a dialog template: its controls are created from the
// template's data, placed by converting dialog units to pixels with the
// template font's metrics, and found again by their ids. Buttons send their id
// to OnCommand, the one place where a window handles its commands.

#include "resources/dialogtemplate.h"

#include <QDialog>
#include <QHash>

#include <memory>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QVBoxLayout;

class TemplateDialog : public QDialog {
    Q_OBJECT

public:
    explicit TemplateDialog(QWidget* parent = nullptr);

    // Builds the window and its controls from the template with that id.
    // False when the program has no such template; nothing is built then.
    bool CreateFromTemplate(int templateId);

    const res::DialogTemplate* Template() const { return m_template; }
    // The area the controls lie in: the window below its menu bar.
    QWidget* Client() const { return m_client; }
    // Builds the menu bar of the menu resource with that id above the
    // controls (the window grows by its height); its items send their
    // command ids to OnCommand. Null when there is no such menu.
    QMenuBar* BuildMenuBar(int menuId);
    // The pop-up menus of a menu resource, in order. Their items carry their
    // command ids as data; whoever shows a pop-up dispatches the chosen one.
    static std::vector<std::unique_ptr<QMenu>> BuildPopUpMenus(int menuId);
    // Binds the keys of an accelerator table to OnCommand.
    void InstallAccelerators(int acceleratorsId);
    // The menu bar's item of that command; null when there is none.
    QAction* MenuAction(int command) const { return m_actions.value(command, nullptr); }
    QWidget* Control(int id) const { return m_controls.value(id, nullptr); }
    template <class T> T* ControlAs(int id) const { return qobject_cast<T*>(Control(id)); }

    // Dialog units of this window's font to pixels.
    QRect ToPixels(int x, int y, int cx, int cy) const;
    // Horizontal and vertical dialog base units of a font: the average
    // character width and the character height, in pixels.
    static QSize BaseUnits(const QFont& font);
    // The installed face that stands for a template's font.
    static QFont TemplateFont(const res::FontSpec& desc);

protected:
    virtual void OnCommand(int id);
    // Makes the widget for one control; windows may supply classes of their own.
    virtual QWidget* CreateControl(const res::ControlTemplate& control);

private:
    const res::DialogTemplate* m_template = nullptr;
    QWidget* m_client = nullptr;
    QVBoxLayout* m_layout = nullptr;
    QSize m_baseUnits;
    QHash<int, QWidget*> m_controls;
    QHash<int, QAction*> m_actions;
};
