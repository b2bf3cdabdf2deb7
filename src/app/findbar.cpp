#include "app/findbar.h"

#include "app/cataloglists.h"
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

FindBar* FindBar::Over(QWidget* parent, QWidget* list, CatalogLists* lists) {
    auto* bar = new FindBar(parent);
    if (!bar->Create()) {
        delete bar;
        return nullptr;
    }
    bar->hide();
    bar->Attach(list, lists);
    connect(bar, &FindBar::closeRequested, bar, &FindBar::Close);
    return bar;
}

void FindBar::Attach(QWidget* list, CatalogLists* lists) {
    m_list = list;
    m_lists = lists;
    connect(this, &FindBar::findRequested, this, &FindBar::Find);
}

void FindBar::Open() {
    if (m_list == nullptr)
        return;
    if (!isVisible()) {
        // The bar takes the top of the list and a gap below it.
        const QRect place = m_list->geometry();
        m_shift = ToPixels(0, 0, 0, Template()->cy + 2).height();
        setGeometry(place.left(), place.top(), place.width(), height());
        m_list->setGeometry(place.adjusted(0, m_shift, 0, 0));
        show();
        raise();
        if (Request() != FindRequest{})
            FindNow();
    }
    m_text->setFocus();
    m_text->selectAll();
}

void FindBar::Close() {
    if (m_list == nullptr || !isVisible())
        return;
    hide();
    m_pause.stop();
    m_list->setGeometry(m_list->geometry().adjusted(0, -m_shift, 0, 0));
    m_shift = 0;
    m_pending = false;
    m_lists->EndFind();
    m_list->setFocus();
}

void FindBar::FitToList() {
    if (m_list != nullptr)
        resize(m_list->width(), height());
}

void FindBar::SetBusy(bool busy) {
    m_busy = busy;
    setEnabled(!busy);
    if (!busy && m_pending)
        QTimer::singleShot(0, this, &FindBar::FindNow);
}

void FindBar::Find(const FindRequest& request) {
    if (m_busy) {
        m_pending = true;
        return;
    }
    m_pending = false;
    if (isVisible() && m_lists != nullptr)
        m_lists->Find(request);
}
