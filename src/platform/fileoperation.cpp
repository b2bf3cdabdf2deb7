#include "platform/fileoperation.h"

#include "platform/directory.h"
#include "platform/paths.h"
#include "platform/qtext.h"
#include "platform/systemtext.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// A copy is written under this hidden name until it is complete.
constexpr char kTemporaryPrefix[] = ".tolvane-copy-";
// Bytes handed to one transfer; progress is reported after each.
constexpr std::size_t kTransferSize = 8u << 20;
constexpr std::size_t kBufferSize = 1u << 20;

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes now; the errno of a failed close, else 0.
    int Close() {
        if (m_fd < 0)
            return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool unchanged(const struct stat& before, const struct stat& after) {
    return sameFile(before, after) && before.st_size == after.st_size &&
           before.st_mtim.tv_sec == after.st_mtim.tv_sec &&
           before.st_mtim.tv_nsec == after.st_mtim.tv_nsec;
}

// The words of one function's messages.
struct Wording {
    const char* verb;
    const char* caption;
};

Wording wordingOf(FileFunction function) {
    switch (function) {
    case FileFunction::Copy:
        return {"copy", "Error Copying File"};
    case FileFunction::Move:
        return {"move", "Error Moving File"};
    case FileFunction::Delete:
        break;
    }
    return {"delete", "Error Deleting File"};
}

FileOpResult fail(FileOpUi& ui, unsigned flags, FileFunction function, const std::string& name,
                  const std::string& why) {
    const Wording w = wordingOf(function);
    if (!(flags & FOF_NOERRORUI))
        ui.showError(std::string("Cannot ") + w.verb + " " + name + ":\n" + why, w.caption);
    return FileOpResult::Failed;
}

FileOpResult failErrno(FileOpUi& ui, unsigned flags, FileFunction function, const std::string& name,
                       int error) {
    return fail(ui, flags, function, name, SystemErrorText(error));
}

// Asks whether an existing file of the target's name may be replaced.
bool mayReplace(FileOpUi& ui, unsigned flags, const std::string& targetFolder,
                const std::string& name) {
    if (flags & FOF_NOCONFIRMATION)
        return true;
    return ui.confirm(targetFolder + " already has a file named " + name + ". Replace it?",
                      "Confirm File Replace") == FileOpAnswer::Yes;
}

// What the target of a copy or move is: nothing, a file the user may
// replace, or a reason to stop.
enum class TargetCheck { Free, Replace, SameFile, NotAFile, Error };

TargetCheck checkTarget(const std::string& target, const struct stat& source, int& error) {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) {
        error = errno;
        return error == ENOENT ? TargetCheck::Free : TargetCheck::Error;
    }
    if (sameFile(st, source))
        return TargetCheck::SameFile;
    if (!S_ISREG(st.st_mode))
        return TargetCheck::NotAFile;
    return TargetCheck::Replace;
}

// Copies the open source into a hidden temporary file in the target's
// folder and renames it onto the target when it is complete, flushed and
// has the source's permissions and modification time.
FileOpResult copyInto(FileFunction function, const std::string& sourcePath, int sourceFd,
                      const struct stat& source, const std::string& target, unsigned flags,
                      FileOpUi& ui, CopyIo& io) {
    const std::string name = nameOf(sourcePath);
    std::string temporary = JoinPath(FolderOf(target), std::string(kTemporaryPrefix) + "XXXXXX");
    Descriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.Get() < 0)
        return failErrno(ui, flags, function, name, errno);
    auto discard = [&] {
        out.Close();
        ::unlink(temporary.c_str());
    };
    const auto total = static_cast<std::uint64_t>(source.st_size);
    std::uint64_t done = 0;
    for (;;) {
        const ssize_t n = io.Transfer(sourceFd, out.Get(), kTransferSize);
        if (n < 0) {
            const int error = errno;
            discard();
            return failErrno(ui, flags, function, name, error);
        }
        if (n == 0)
            break;
        done += static_cast<std::uint64_t>(n);
        if (!ui.progress(done, total)) {
            discard();
            return FileOpResult::AbortedByUser;
        }
    }
    // The source must still be the file that was opened, whole and as it
    // was: a file that shrank, grew or was replaced meanwhile is no copy.
    struct stat after {};
    if (done != total || ::stat(sourcePath.c_str(), &after) != 0 || !unchanged(source, after)) {
        discard();
        return fail(ui, flags, function, name, "The file changed while it was copied.");
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (::fchmod(out.Get(), source.st_mode & 07777) != 0 || ::futimens(out.Get(), times) != 0 ||
        ::fsync(out.Get()) != 0) {
        const int error = errno;
        discard();
        return failErrno(ui, flags, function, name, error);
    }
    if (const int error = out.Close(); error != 0) {
        ::unlink(temporary.c_str());
        return failErrno(ui, flags, function, name, error);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return failErrno(ui, flags, function, name, error);
    }
    return FileOpResult::Done;
}

FileOpResult copyOrMove(FileFunction function, const std::string& source,
                        const std::string& targetFolder, unsigned flags, FileOpUi& ui, CopyIo& io) {
    const std::string name = nameOf(source);
    const std::string target = JoinPath(targetFolder, name);
    if (!FitsPathLimit(target.size()))
        return fail(ui, flags, function, name, "The target path is too long: " + target);
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (in.Get() < 0)
        return failErrno(ui, flags, function, name, errno);
    struct stat st {};
    if (::fstat(in.Get(), &st) != 0)
        return failErrno(ui, flags, function, name, errno);
    if (!S_ISREG(st.st_mode))
        return fail(ui, flags, function, name, "It is not a file.");
    int error = 0;
    switch (checkTarget(target, st, error)) {
    case TargetCheck::Free:
        break;
    case TargetCheck::Replace:
        if (!mayReplace(ui, flags, targetFolder, name))
            return FileOpResult::AbortedByUser;
        break;
    case TargetCheck::SameFile:
        return fail(ui, flags, function, name, "The source and the target are the same file.");
    case TargetCheck::NotAFile:
        return fail(ui, flags, function, name, target + " exists and is not a file.");
    case TargetCheck::Error:
        return failErrno(ui, flags, function, name, error);
    }
    if (function == FileFunction::Copy)
        return copyInto(function, source, in.Get(), st, target, flags, ui, io);

    if (::rename(source.c_str(), target.c_str()) == 0)
        return FileOpResult::Done;
    if (errno != EXDEV)
        return failErrno(ui, flags, function, name, errno);
    // Another file system: a copy, checked, and only then the source goes.
    const FileOpResult copied = copyInto(function, source, in.Get(), st, target, flags, ui, io);
    if (copied != FileOpResult::Done)
        return copied;
    struct stat written {};
    if (::stat(target.c_str(), &written) != 0 || written.st_size != st.st_size)
        return fail(ui, flags, function, name,
                    "The copy in " + targetFolder +
                        " is not complete; the file stays where it is.");
    in.Close();
    if (::unlink(source.c_str()) != 0)
        return fail(ui, flags, function, name,
                    "It was copied to " + targetFolder +
                        " but could not be removed: " + SystemErrorText(errno));
    return FileOpResult::Done;
}

bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// The folder of the user's trash for files ($XDG_DATA_HOME/Trash/files),
// made with its siblings when missing, so that the trash is the user's own
// rather than wherever a library falls back to.
std::string homeTrashFiles() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local";
        makeFolder(base);
        base += "/share";
    } else {
        return {};
    }
    makeFolder(base);
    makeFolder(base + "/Trash");
    makeFolder(base + "/Trash/info");
    makeFolder(base + "/Trash/files");
    return base + "/Trash/files";
}

// Whether path lies in the "files" folder of a trash: the home trash
// (.../Trash/files) or a volume's (.Trash/<uid>/files, .Trash-<uid>/files).
bool inTrashFiles(const std::string& path) {
    const std::filesystem::path p(path);
    const std::filesystem::path files = p.parent_path();
    if (files.filename() != "files")
        return false;
    const std::string trash = files.parent_path().filename().string();
    const std::string uid = std::to_string(::getuid());
    return trash == "Trash" || trash == ".Trash-" + uid ||
           (trash == uid && files.parent_path().parent_path().filename() == ".Trash");
}

// Moves a file to the trash; false (and the file where it was) when no trash
// takes it.
bool moveToTrash(const std::string& path) {
    homeTrashFiles();
    QFile file(ToQt(path));
    if (!file.moveToTrash())
        return false;
    const std::string trashed = file.fileName().toLocal8Bit().toStdString();
    struct stat st {};
    const bool gone = ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
    if (gone && inTrashFiles(trashed) && ::lstat(trashed.c_str(), &st) == 0)
        return true;
    // Qt reports success for places that are no trash (the working folder
    // when no home trash can be made): put the file back.
    if (gone && !trashed.empty())
        ::rename(trashed.c_str(), path.c_str());
    return false;
}

FileOpResult deleteOne(const std::string& path, unsigned flags, FileOpUi& ui) {
    const std::string name = nameOf(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return failErrno(ui, flags, FileFunction::Delete, name, errno);
    if (flags & FOF_ALLOWUNDO) {
        if (!(flags & FOF_NOCONFIRMATION) && ui.confirm("Move " + name + " to the Trash?",
                                                        "Confirm File Delete") != FileOpAnswer::Yes)
            return FileOpResult::AbortedByUser;
        if (moveToTrash(path))
            return FileOpResult::Done;
        // Losing the undo is the user's decision, whatever the flags say.
        if (ui.confirm(name + " cannot be moved to the Trash. Delete it permanently?",
                       "Confirm File Delete") != FileOpAnswer::Yes)
            return FileOpResult::AbortedByUser;
    } else if (!(flags & FOF_NOCONFIRMATION) &&
               ui.confirm("Are you sure you want to permanently delete '" + name + "'?",
                          "Confirm File Delete") != FileOpAnswer::Yes) {
        return FileOpResult::AbortedByUser;
    }
    int result = 0;
    if (S_ISDIR(st.st_mode)) {
        if (flags & FOF_NORECURSION) {
            result = ::rmdir(path.c_str());
        } else {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
            result = ec ? -1 : 0;
            errno = ec.value();
        }
    } else {
        result = ::unlink(path.c_str());
    }
    if (result != 0)
        return failErrno(ui, flags, FileFunction::Delete, name, errno);
    return FileOpResult::Done;
}

} // namespace

ssize_t CopyIo::Transfer(int in, int out, std::size_t count) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, count, 0);
    if (n >= 0 || (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
                   errno != EPERM))
        return n;
    // The kernel cannot copy between these two: through a buffer instead.
    static thread_local std::vector<char> buffer(kBufferSize);
    const ssize_t got = ::read(in, buffer.data(), std::min(count, buffer.size()));
    if (got <= 0)
        return got;
    for (ssize_t written = 0; written < got;) {
        const ssize_t w =
            ::write(out, buffer.data() + written, static_cast<std::size_t>(got - written));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        written += w;
    }
    return got;
}

CopyIo& SystemCopyIo() {
    static CopyIo io;
    return io;
}

bool IsTemporaryCopyName(const std::string& name) {
    return name.rfind(kTemporaryPrefix, 0) == 0;
}

FileOpResult FileOperation(FileFunction function, const std::string& source,
                           const std::string& targetFolder, unsigned flags, FileOpUi& ui,
                           CopyIo& io) {
    if (function == FileFunction::Delete)
        return deleteOne(source, flags, ui);
    return copyOrMove(function, source, targetFolder, flags, ui, io);
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error) {
    std::string temporary = JoinPath(FolderOf(path), std::string(kTemporaryPrefix) + "XXXXXX");
    Descriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.Get() < 0) {
        error = SystemErrorText(errno);
        return false;
    }
    // mkostemp makes the file private; a written file gets the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int failure = ::fchmod(out.Get(), 0666 & ~mask) != 0 ? errno : 0;
    for (std::size_t done = 0; failure == 0 && done < bytes.size();) {
        const ssize_t n = ::write(out.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failure = n < 0 ? errno : EIO;
        else
            done += static_cast<std::size_t>(n);
    }
    if (failure == 0 && ::fsync(out.Get()) != 0)
        failure = errno;
    if (const int closed = out.Close(); failure == 0)
        failure = closed;
    if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        error = SystemErrorText(failure);
        return false;
    }
    return true;
}

FileOpResult DeleteFiles(const std::vector<std::string>& paths, unsigned flags, FileOpUi* ui) {
    // Callers without a window get their questions answered No and their
    // errors dropped.
    class Silent final : public FileOpUi {
    public:
        FileOpAnswer confirm(const std::string&, const std::string&) override {
            return FileOpAnswer::No;
        }
        void showError(const std::string&, const std::string&) override {}
    } silent;
    FileOpUi& use = ui != nullptr ? *ui : silent;
    for (const std::string& path : paths) {
        const FileOpResult result = deleteOne(path, flags, use);
        if (result != FileOpResult::Done)
            return result;
    }
    return FileOpResult::Done;
}

} // namespace platform
