#include "ui/pane_edit.h"

#include <QKeyEvent>

PaneEdit::PaneEdit(bool takes_enter, QWidget* parent)
    : QPlainTextEdit(parent), takes_enter_(takes_enter) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
}

void PaneEdit::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !takes_enter_) {
        event->ignore();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
