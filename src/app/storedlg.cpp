#include "app/storedlg.h"

#include "feedback/prompter.h"
#include "platform/qtext.h"
#include "platform/systemtext.h"
#include "resources/dialogtemplate.h"

#include <QCheckBox>
#include <QLineEdit>

#include <cerrno>
#include <sys/stat.h>

namespace {

// Creates a folder with every missing parent; 0 or the errno of the failure.
int createFolders(const std::string& path) {
    std::string partial;
    std::size_t from = 0;
    while (from <= path.size()) {
        const std::size_t slash = path.find('/', from);
        partial = path.substr(0, slash == std::string::npos ? path.size() : slash);
        from = slash == std::string::npos ? path.size() + 1 : slash + 1;
        if (partial.empty())
            continue; // the root
        if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

} // namespace

StoreDlg::StoreDlg(Prompter& prompter, QWidget* parent)
    : TemplateDialog(parent), m_prompter(prompter) {}

bool StoreDlg::Create() {
    if (!CreateFromTemplate(res::IDD_STORE))
        return false;
    setModal(true);
    return ControlAs<QLineEdit>(res::IDC_STORE_TARGET) != nullptr;
}

bool StoreDlg::Checked(int id) const {
    const auto* box = ControlAs<QCheckBox>(id);
    return box != nullptr && box->isChecked();
}

void StoreDlg::SetChecked(int id, bool checked) {
    if (auto* box = ControlAs<QCheckBox>(id))
        box->setChecked(checked);
}

void StoreDlg::SetTargetText(const std::string& text) {
    if (auto* edit = ControlAs<QLineEdit>(res::IDC_STORE_TARGET))
        edit->setText(ToQt(text));
}

void StoreDlg::Tell(const std::string& text) {
    ::Tell(m_prompter, text, "Orrin");
}

void StoreDlg::OnCommand(int id) {
    switch (id) {
    case res::IDC_STORE_SELECT:
        if (const auto folder = BrowseForFolder(m_prompter))
            SetTargetText(*folder);
        break;
    case res::IDC_STORE_RELATIVE:
        if (Checked(res::IDC_STORE_RELATIVE))
            SetChecked(res::IDC_STORE_BY_TYPE, false);
        break;
    case res::IDC_STORE_BY_TYPE:
        if (Checked(res::IDC_STORE_BY_TYPE)) {
            SetChecked(res::IDC_STORE_RELATIVE, false);
            SetChecked(res::IDC_STORE_DRIVE, false);
        }
        break;
    case res::IDC_STORE_DRIVE:
        SetChecked(res::IDC_STORE_BY_TYPE, false);
        SetChecked(res::IDC_STORE_RELATIVE, Checked(res::IDC_STORE_DRIVE));
        break;
    case res::IDOK:
        OnStore();
        break;
    case res::IDCANCEL:
        reject();
        break;
    default:
        break;
    }
}

void StoreDlg::OnStore() {
    m_options.moveFiles = Checked(res::IDC_STORE_MOVE);
    m_options.separateByType = Checked(res::IDC_STORE_BY_TYPE);
    m_options.relativePaths = Checked(res::IDC_STORE_RELATIVE);
    m_options.addDriveLetter = Checked(res::IDC_STORE_DRIVE);
    const auto* edit = ControlAs<QLineEdit>(res::IDC_STORE_TARGET);
    std::string target = edit != nullptr ? FromQt(edit->text()) : std::string();
    // The limit counts characters, whatever their bytes in the file system.
    const auto characters = edit != nullptr ? edit->text().toUcs4().size() : 0;
    if (static_cast<std::size_t>(characters) > kMaxTargetLength) {
        Tell("The path is too long for store....");
        return;
    }
    // Absolute paths start at the root; anything else, the empty text too,
    // is refused in the edit itself.
    if (target.empty() || target.front() != '/') {
        SetTargetText("Please enter absolute path!");
        return;
    }
    auto close = [&] {
        while (target.size() > 1 && target.back() == '/')
            target.pop_back();
        m_options.target = target;
        accept();
    };
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        // Every file would fail into a file: say it now, once.
        if (!S_ISDIR(st.st_mode)) {
            Tell(target + " is not a folder");
            return;
        }
        close();
        return;
    }
    if (m_prompter.ask({"Target folder does not exist\nwould you like to create it?",
                        "Orrin",
                        MsgButtons::YesNo,
                        MsgIcon::Question,
                        {}}) != MsgAnswer::Yes)
        return;
    switch (const int error = createFolders(target)) {
    case 0:
        close();
        break;
    case ENAMETOOLONG:
        Tell("The path is too long.");
        break;
    case ENOTDIR:
        Tell("The path may contain an invalid entry.");
        break;
    default:
        // Permission denied, a read-only volume, a full disk: the folder is
        // not there, so the dialog stays open with the reason.
        Tell("The folder cannot be created:\n" + platform::SystemErrorText(error));
        break;
    }
}
