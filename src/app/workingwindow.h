#pragma once
#include "widgets/templatedialog.h"

// The small "WORKING..." window shown while the databases are discovered.
class WorkingWindow : public TemplateDialog {
public:
    WorkingWindow() : TemplateDialog(nullptr) {}
    // Creates and shows it; false when it cannot be made.
    bool Start();
};
