#pragma once
// What a long operation asks before each item whether the user wants it to
// stop. The main window implements it by looking at the keys pressed since
// the last question.

class CancelCheck {
public:
    virtual ~CancelCheck() = default;
    // True when the user chose to cancel the operation.
    virtual bool CheckCancel() = 0;
};
