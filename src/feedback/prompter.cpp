#include "feedback/prompter.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

QString toQt(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

class QtPrompter final : public Prompter {
public:
    MsgAnswer messageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         MsgButtons buttons, MsgIcon icon) override {
        QMessageBox box(owner);
        box.setText(toQt(text));
        box.setWindowTitle(toQt(caption));
        switch (icon) {
        case MsgIcon::None:
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        }
        switch (buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        case QMessageBox::Ok:
            return MsgAnswer::Ok;
        default:
            return MsgAnswer::Cancel;
        }
    }

    std::optional<std::string> openFileName(QWidget* owner, const std::string& title,
                                            const std::string& filter) override {
        const QString name =
            QFileDialog::getOpenFileName(owner, toQt(title), QString(), toQt(filter));
        if (name.isEmpty())
            return std::nullopt;
        return name.toLocal8Bit().toStdString();
    }

    std::optional<std::string> folderName(QWidget* owner, const std::string& title) override {
        const QString name = QFileDialog::getExistingDirectory(owner, toQt(title));
        if (name.isEmpty())
            return std::nullopt;
        return name.toLocal8Bit().toStdString();
    }
};

QtPrompter g_qtPrompter;
Prompter* g_prompter = nullptr;

} // namespace

Prompter& CurrentPrompter() {
    return g_prompter != nullptr ? *g_prompter : g_qtPrompter;
}

void SetPrompter(Prompter* prompter) {
    g_prompter = prompter;
}

platform::FileOpAnswer PromptingFileOpUi::confirm(const std::string& text,
                                                  const std::string& caption) {
    switch (CurrentPrompter().messageBox(m_owner, text, caption, MsgButtons::YesNoCancel,
                                         MsgIcon::Question)) {
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
    CurrentPrompter().messageBox(m_owner, text, caption, MsgButtons::Ok, MsgIcon::Error);
}
