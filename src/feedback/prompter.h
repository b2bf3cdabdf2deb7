#pragma once
// Every question the program asks the user goes through a Prompter: message
// boxes, file and folder choosers, confirmations. Questions and answers are
// plain values; the windows supply a prompter of Qt dialogs, tests one with
// scripted answers.

#include "platform/fileoperation.h"

#include <optional>
#include <string>

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Question, Warning, Error };
enum class MsgAnswer { Ok, Cancel, Yes, No };

struct Question {
    std::string text;
    std::string caption;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    // The answer Enter gives; none: the dialog's own default.
    std::optional<MsgAnswer> defaultAnswer;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual MsgAnswer ask(const Question& question) = 0;
    // A file to open; nothing when the user cancels.
    virtual std::optional<std::string> openFileName(const std::string& title,
                                                    const std::string& filter) = 0;
    // A folder; nothing when the user cancels.
    virtual std::optional<std::string> folderName(const std::string& title) = 0;
    // A file to write, suggested by name; nothing when the user cancels.
    // Whether to replace an existing file is asked by the chooser.
    virtual std::optional<std::string> saveFileName(const std::string& title,
                                                    const std::string& filter,
                                                    const std::string& suggestedName) = 0;
};

// A message with an OK button and nothing to decide.
void Tell(Prompter& prompter, const std::string& text, const std::string& caption);

// The file operations' questions and error messages, asked through a prompter.
class PromptingFileOpUi final : public platform::FileOpUi {
public:
    explicit PromptingFileOpUi(Prompter& prompter) : m_prompter(prompter) {}
    platform::FileOpAnswer confirm(const std::string& text, const std::string& caption) override;
    void showError(const std::string& text, const std::string& caption) override;

private:
    Prompter& m_prompter;
};
