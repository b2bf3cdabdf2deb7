#include "app/findbar.h"

#include "platform/qtext.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

FindBar::FindBar(QWidget* parent) : TemplateDialog(parent) {
    m_pause.setSingleShot(true);
    m_pause.setInterval(kPauseMilliseconds);
    connect(&m_pause, &QTimer::timeout, this, &FindBar::FindNow);
}

bool FindBar::Create() {
    if (!CreateFromTemplate(res::IDD_FIND_BAR))
        return false;
    m_text = ControlAs<QLineEdit>(res::IDC_FIND_TEXT);
    m_status = ControlAs<QComboBox>(res::IDC_FIND_STATUS);
    if (m_text == nullptr || m_status == nullptr)
        return false;
    // Each keystroke starts the pause again.
    connect(m_text, &QLineEdit::textEdited, this, [this] { m_pause.start(); });
    connect(m_status, &QComboBox::currentIndexChanged, this, &FindBar::FindNow);
    return true;
}

FindRequest FindBar::Request() const {
    FindRequest request;
    if (m_text != nullptr)
        request.text = FromQt(m_text->text());
    if (m_status != nullptr && m_status->currentIndex() > 0)
        request.status = static_cast<FindStatus>(m_status->currentIndex());
    return request;
}

void FindBar::FindNow() {
    m_pause.stop();
    Q_EMIT findRequested(Request());
}

void FindBar::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        m_pause.stop();
        Q_EMIT closeRequested();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        FindNow();
        return;
    default:
        TemplateDialog::keyPressEvent(event);
    }
}
