#pragma once
// A prompter that answers from a script and records every question, installed
// for the life of the object.

#include "feedback/prompter.h"

#include <deque>
#include <string>
#include <vector>

class ScriptedPrompter : public Prompter {
public:
    struct Question {
        std::string text;
        std::string caption;
        MsgButtons buttons;
    };

    ScriptedPrompter();
    ~ScriptedPrompter() override;

    // Answers given in order; when the script runs out, message boxes get
    // Cancel (or Ok for an Ok-only box) and choosers get nothing.
    void answer(MsgAnswer a) { m_answers.push_back(a); }
    void choose(std::string path) { m_choices.push_back(std::move(path)); }

    const std::vector<Question>& questions() const { return m_questions; }

    MsgAnswer messageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         MsgButtons buttons, MsgIcon icon) override;
    std::optional<std::string> openFileName(QWidget* owner, const std::string& title,
                                            const std::string& filter) override;
    std::optional<std::string> folderName(QWidget* owner, const std::string& title) override;

private:
    std::optional<std::string> nextChoice(const std::string& title);

    std::deque<MsgAnswer> m_answers;
    std::deque<std::string> m_choices;
    std::vector<Question> m_questions;
};
