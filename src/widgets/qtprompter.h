#pragma once
// The prompter of the running program: Qt message boxes and file dialogs,
// shown over the window that is active when the question is asked.

#include "feedback/prompter.h"

class QtPrompter final : public Prompter {
public:
    MsgAnswer ask(const Question& question) override;
    std::optional<std::string> openFileName(const std::string& title,
                                            const std::string& filter) override;
    std::optional<std::string> folderName(const std::string& title) override;
    std::optional<std::string> saveFileName(const std::string& title, const std::string& filter,
                                            const std::string& suggestedName) override;
};
