#include "widgets/sortablelistview.h"

#include "resources/menus.h"

#include <QKeyEvent>

SortableListView::SortableListView(QWidget* parent) : ListView(parent) {}

int SortableListView::AcceleratorCommand(const QKeyEvent* event) const {
    const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
    for (const res::Accelerator& a : res::FindAccelerators(res::IDR_ACCELERATORS)) {
        if (a.control == control && event->key() == a.key)
            return a.command;
    }
    return 0;
}

bool SortableListView::event(QEvent* e) {
    // The list translates the accelerators before the window sees them.
    if (e->type() == QEvent::ShortcutOverride &&
        AcceleratorCommand(static_cast<QKeyEvent*>(e)) != 0) {
        e->accept();
        return true;
    }
    return ListView::event(e);
}

void SortableListView::keyPressEvent(QKeyEvent* event) {
    const int command = AcceleratorCommand(event);
    if (command == res::ID_SELECT_ALL_ROWS) {
        Q_EMIT selectAllRequested();
        return;
    }
    if (command != 0)
        return; // the list has no handler for it: consumed without effect
    ListView::keyPressEvent(event);
}
