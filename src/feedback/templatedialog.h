#pragma once
// A window built from a dialog template: its controls are created from the
// template's data, placed by converting dialog units to pixels with the
// template font's metrics, and found again by their ids. Buttons send their id
// to OnCommand, the one place where a window handles its commands.

#include "resources/dialogtemplate.h"

#include <QDialog>
#include <QHash>

class QMenuBar;
class QVBoxLayout;

class TemplateDialog : public QDialog {
    Q_OBJECT

public:
    explicit TemplateDialog(QWidget* parent = nullptr);

    // Builds the window and its controls from the template with that id.
    // False when the program has no such template; nothing is built then.
    bool CreateFromTemplate(int templateId);

    const res::DialogTemplate* dialogTemplate() const { return m_template; }
    // The area the controls lie in: the window below its menu bar.
    QWidget* client() const { return m_client; }
    // Puts a menu bar above the controls; the window grows by its height.
    void SetMenuBar(QMenuBar* bar);
    QWidget* control(int id) const { return m_controls.value(id, nullptr); }
    template <class T> T* controlAs(int id) const { return qobject_cast<T*>(control(id)); }

    // Dialog units of this window's font to pixels.
    QRect toPixels(int x, int y, int cx, int cy) const;
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
};
