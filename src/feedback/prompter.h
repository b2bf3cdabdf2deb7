#pragma once
// Every question the program asks the user goes through the current Prompter:
// message boxes, file and folder choosers, confirmations. The program uses Qt
// dialogs; tests install a prompter with scripted answers.

#include <optional>
#include <string>

#include "platform/fileoperation.h"

class QWidget;

// The window a question is asked for. Code below the windows passes it on
// without knowing what it is.
using OwnerWindow = QWidget*;

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Question, Warning, Error };
enum class MsgAnswer { Ok, Cancel, Yes, No };

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual MsgAnswer messageBox(OwnerWindow owner, const std::string& text,
                                 const std::string& caption, MsgButtons buttons, MsgIcon icon) = 0;
    // A file to open; nothing when the user cancels.
    virtual std::optional<std::string> openFileName(OwnerWindow owner, const std::string& title,
                                                    const std::string& filter) = 0;
    // A folder; nothing when the user cancels.
    virtual std::optional<std::string> folderName(OwnerWindow owner, const std::string& title) = 0;
};

// The prompter in use: the Qt dialogs unless another one was installed.
Prompter& CurrentPrompter();
// Installs a prompter (not owned); null goes back to the Qt dialogs.
void SetPrompter(Prompter* prompter);

// The file operations' questions and error messages, asked through the
// current prompter for a window.
class PromptingFileOpUi final : public platform::FileOpUi {
public:
    explicit PromptingFileOpUi(OwnerWindow owner) : m_owner(owner) {}
    platform::FileOpAnswer confirm(const std::string& text, const std::string& caption) override;
    void showError(const std::string& text, const std::string& caption) override;

private:
    OwnerWindow m_owner;
};
