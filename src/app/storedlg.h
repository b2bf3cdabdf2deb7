#pragma once
// The store dialog: a target folder and the boxes that choose the layout of
// a store. It always opens empty; "Store" checks the folder (absolute, at
// most 100 characters, created on request) before it closes.

#include "fileops/mediafileops.h"
#include "widgets/templatedialog.h"

class Prompter;

class StoreDlg : public TemplateDialog {
    Q_OBJECT

public:
    static constexpr std::size_t kMaxTargetLength = 100;

    StoreDlg(Prompter& prompter, QWidget* parent = nullptr);

    // Builds the dialog from its template; false when it cannot be made.
    bool Create();
    // What the dialog closed with OK on.
    const StoreOptions& Options() const { return m_options; }

    void OnCommand(int id) override;

private:
    bool Checked(int id) const;
    void SetChecked(int id, bool checked);
    void SetTargetText(const std::string& text);
    void OnStore();
    // Tells the user and keeps the dialog open.
    void Tell(const std::string& text);

    Prompter& m_prompter;
    StoreOptions m_options;
};
