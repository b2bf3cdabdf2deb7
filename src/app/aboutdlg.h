#pragma once
// The about box: the product's name, its icon and the author line.

#include "widgets/templatedialog.h"

class AboutDlg : public TemplateDialog {
    Q_OBJECT

public:
    using TemplateDialog::TemplateDialog;
    bool Create();
    void OnCommand(int id) override;
};
