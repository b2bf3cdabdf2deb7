#include "support/scriptedprompter.h"

ScriptedPrompter::ScriptedPrompter() {
    SetPrompter(this);
}

ScriptedPrompter::~ScriptedPrompter() {
    SetPrompter(nullptr);
}

MsgAnswer ScriptedPrompter::messageBox(QWidget*, const std::string& text,
                                       const std::string& caption, MsgButtons buttons, MsgIcon) {
    m_questions.push_back({text, caption, buttons});
    if (m_answers.empty())
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
    const MsgAnswer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

std::optional<std::string> ScriptedPrompter::nextChoice(const std::string& title) {
    m_questions.push_back({title, "", MsgButtons::OkCancel});
    if (m_choices.empty())
        return std::nullopt;
    std::string path = std::move(m_choices.front());
    m_choices.pop_front();
    return path;
}

std::optional<std::string> ScriptedPrompter::openFileName(QWidget*, const std::string& title,
                                                          const std::string&) {
    return nextChoice(title);
}

std::optional<std::string> ScriptedPrompter::folderName(QWidget*, const std::string& title) {
    return nextChoice(title);
}
