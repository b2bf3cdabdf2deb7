#pragma once
// A prompter that answers from a script and records every question.

#include "feedback/prompter.h"

#include <deque>
#include <string>
#include <vector>

class ScriptedPrompter : public Prompter {
public:
    // Answers given in order; when the script runs out, message boxes get
    // Cancel (or Ok for an Ok-only box) and choosers get nothing.
    void answer(MsgAnswer a) { m_answers.push_back(a); }
    void choose(std::string path) { m_choices.push_back(std::move(path)); }

    // Every question asked; a chooser's shows its title as text.
    const std::vector<Question>& questions() const { return m_questions; }

    MsgAnswer ask(const Question& question) override;
    std::optional<std::string> openFileName(const std::string& title,
                                            const std::string& filter) override;
    std::optional<std::string> folderName(const std::string& title) override;
    std::optional<std::string> saveFileName(const std::string& title, const std::string& filter,
                                            const std::string& suggestedName) override;

private:
    std::optional<std::string> nextChoice(const std::string& title);

    std::deque<MsgAnswer> m_answers;
    std::deque<std::string> m_choices;
    std::vector<Question> m_questions;
};
