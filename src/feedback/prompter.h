#pragma once
// Every question the program asks the user goes through the current Prompter:
// message boxes, file and folder choosers, confirmations. The program uses Qt
// dialogs; tests install a prompter with scripted answers.

#include <optional>
#include <string>

class QWidget;

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Question, Warning, Error };
enum class MsgAnswer { Ok, Cancel, Yes, No };

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual MsgAnswer messageBox(QWidget* owner, const std::string& text,
                                 const std::string& caption, MsgButtons buttons, MsgIcon icon) = 0;
    // A file to open; nothing when the user cancels.
    virtual std::optional<std::string> openFileName(QWidget* owner, const std::string& title,
                                                    const std::string& filter) = 0;
    // A folder; nothing when the user cancels.
    virtual std::optional<std::string> folderName(QWidget* owner, const std::string& title) = 0;
};

// The prompter in use: the Qt dialogs unless another one was installed.
Prompter& CurrentPrompter();
// Installs a prompter (not owned); null goes back to the Qt dialogs.
void SetPrompter(Prompter* prompter);
