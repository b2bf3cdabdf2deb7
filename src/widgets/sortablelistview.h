#pragma once
// The sortable lists of the main window: a ListView that selects all its
// rows on Ctrl+A and keeps Ctrl+O from reaching the window while it has the
// focus.

#include "widgets/listview.h"

class SortableListView : public ListView {
    Q_OBJECT

public:
    explicit SortableListView(QWidget* parent = nullptr);

Q_SIGNALS:
    // Ctrl+A: select every row (command 32815).
    void selectAllRequested();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The command the list's accelerator table gives a key, or 0.
    int AcceleratorCommand(const QKeyEvent* event) const;
};
