#include "widgets/qtprompter.h"

#include "platform/qtext.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QMessageBox::StandardButton buttonOf(MsgAnswer answer) {
    switch (answer) {
    case MsgAnswer::Ok:
        return QMessageBox::Ok;
    case MsgAnswer::Cancel:
        return QMessageBox::Cancel;
    case MsgAnswer::Yes:
        return QMessageBox::Yes;
    case MsgAnswer::No:
        return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

} // namespace

MsgAnswer QtPrompter::ask(const Question& question) {
    QMessageBox box(QApplication::activeWindow());
    box.setText(ToQt(question.text));
    box.setWindowTitle(ToQt(question.caption));
    switch (question.icon) {
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
    switch (question.buttons) {
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
    if (question.defaultAnswer)
        box.setDefaultButton(buttonOf(*question.defaultAnswer));
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

std::optional<std::string> QtPrompter::openFileName(const std::string& title,
                                                    const std::string& filter) {
    const QString name = QFileDialog::getOpenFileName(QApplication::activeWindow(), ToQt(title),
                                                      QString(), ToQt(filter));
    if (name.isEmpty())
        return std::nullopt;
    return FromQt(name);
}

std::optional<std::string> QtPrompter::folderName(const std::string& title) {
    const QString name =
        QFileDialog::getExistingDirectory(QApplication::activeWindow(), ToQt(title));
    if (name.isEmpty())
        return std::nullopt;
    return FromQt(name);
}

std::optional<std::string> QtPrompter::saveFileName(const std::string& title,
                                                    const std::string& filter,
                                                    const std::string& suggestedName) {
    const QString name = QFileDialog::getSaveFileName(QApplication::activeWindow(), ToQt(title),
                                                      ToQt(suggestedName), ToQt(filter));
    if (name.isEmpty())
        return std::nullopt;
    return FromQt(name);
}
