#include "feedback/prompter.h"

platform::FileOpAnswer PromptingFileOpUi::confirm(const std::string& text,
                                                  const std::string& caption) {
    switch (m_prompter.ask({text, caption, MsgButtons::YesNoCancel, MsgIcon::Question, {}})) {
    case MsgAnswer::Yes:
    case MsgAnswer::Ok:
        return platform::FileOpAnswer::Yes;
    case MsgAnswer::No:
        return platform::FileOpAnswer::No;
    case MsgAnswer::Cancel:
        break;
    }
    return platform::FileOpAnswer::Cancel;
}

void PromptingFileOpUi::showError(const std::string& text, const std::string& caption) {
    m_prompter.ask({text, caption, MsgButtons::Ok, MsgIcon::Error, {}});
}

void Tell(Prompter& prompter, const std::string& text, const std::string& caption) {
    prompter.ask({text, caption, MsgButtons::Ok, MsgIcon::None, {}});
}
