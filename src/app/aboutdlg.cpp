#include "app/aboutdlg.h"

#include "resources/dialogtemplate.h"

bool AboutDlg::Create() {
    if (!CreateFromTemplate(res::IDD_ABOUT))
        return false;
    setModal(true);
    return true;
}

void AboutDlg::OnCommand(int id) {
    if (id == res::IDOK)
        accept();
}
