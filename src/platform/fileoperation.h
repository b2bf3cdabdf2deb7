#pragma once
// File operations the way the program asks for them: a list of paths and
// flags that say whether to ask first, whether deleted files go to the trash
// and whether folders are handled recursively. Questions and error messages
// go to the caller's FileOpUi, which shows them on behalf of a window.

#include <string>
#include <vector>

namespace platform {

inline constexpr unsigned FOF_SILENT = 0x0004;
inline constexpr unsigned FOF_NOCONFIRMATION = 0x0010;
inline constexpr unsigned FOF_ALLOWUNDO = 0x0040;
inline constexpr unsigned FOF_NOERRORUI = 0x0400;
inline constexpr unsigned FOF_NORECURSION = 0x1000;

enum class FileOpAnswer { Yes, No, Cancel };

class FileOpUi {
public:
    virtual ~FileOpUi() = default;
    virtual FileOpAnswer confirm(const std::string& text, const std::string& caption) = 0;
    virtual void showError(const std::string& text, const std::string& caption) = 0;
};

enum class FileOpResult { Done, Failed, AbortedByUser };

// Deletes the files (and, without FOF_NORECURSION, folders with what they
// hold) one after another. With FOF_ALLOWUNDO they go to the trash, else they
// are removed for good. Stops at the first failure or when the user cancels.
FileOpResult DeleteFiles(const std::vector<std::string>& paths, unsigned flags, FileOpUi* ui);

} // namespace platform
