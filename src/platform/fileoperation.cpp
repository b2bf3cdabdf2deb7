#include "platform/fileoperation.h"

#include "platform/qtext.h"

#include "platform/systemtext.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes one path; 0 or the errno of the failure.
int removePath(const std::string& path, unsigned flags) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno;
    if (flags & FOF_ALLOWUNDO) {
        QFile file(ToQt(path));
        return file.moveToTrash() ? 0 : EIO;
    }
    if (S_ISDIR(st.st_mode)) {
        if (flags & FOF_NORECURSION)
            return ::rmdir(path.c_str()) == 0 ? 0 : errno;
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
        return ec ? ec.value() : 0;
    }
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

} // namespace

FileOpResult DeleteFiles(const std::vector<std::string>& paths, unsigned flags, FileOpUi* ui) {
    for (const std::string& path : paths) {
        if (!(flags & FOF_NOCONFIRMATION) && ui != nullptr) {
            const std::string text =
                (flags & FOF_ALLOWUNDO)
                    ? "Are you sure you want to move '" + nameOf(path) + "' to the Trash?"
                    : "Are you sure you want to permanently delete '" + nameOf(path) + "'?";
            const FileOpAnswer answer = ui->confirm(text, "Confirm File Delete");
            if (answer == FileOpAnswer::Cancel)
                return FileOpResult::AbortedByUser;
            if (answer == FileOpAnswer::No)
                continue;
        }
        const int error = removePath(path, flags);
        if (error != 0) {
            if (!(flags & FOF_NOERRORUI) && ui != nullptr)
                ui->showError("Cannot delete " + path + ":\n" + SystemErrorText(error),
                              "Error Deleting File");
            return FileOpResult::Failed;
        }
    }
    return FileOpResult::Done;
}

} // namespace platform
