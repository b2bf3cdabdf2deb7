#include "support/scriptedprompter.h"

MsgAnswer ScriptedPrompter::ask(const Question& question) {
    m_questions.push_back(question);
    if (m_answers.empty())
        return question.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
    const MsgAnswer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

std::optional<std::string> ScriptedPrompter::nextChoice(const std::string& title) {
    m_questions.push_back({title, "", MsgButtons::OkCancel, MsgIcon::None, {}});
    if (m_choices.empty())
        return std::nullopt;
    std::string path = std::move(m_choices.front());
    m_choices.pop_front();
    return path;
}

std::optional<std::string> ScriptedPrompter::openFileName(const std::string& title,
                                                          const std::string&) {
    return nextChoice(title);
}

std::optional<std::string> ScriptedPrompter::folderName(const std::string& title) {
    return nextChoice(title);
}

std::optional<std::string> ScriptedPrompter::saveFileName(const std::string& title,
                                                          const std::string&, const std::string&) {
    return nextChoice(title);
}
