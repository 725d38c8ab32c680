// A multi-line edit as the console's panes are: plain text, no scroll bars
// and no wrapping (the text scrolls sideways as it grows), Tab moves the
// focus. Enter is a line break only in a pane made to take it; elsewhere
// the key goes on to the dialog.
#pragma once

#include <QPlainTextEdit>

class PaneEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    PaneEdit(bool takes_enter, QWidget* parent);

    bool takes_enter() const { return takes_enter_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    const bool takes_enter_;
};
