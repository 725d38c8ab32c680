// The About box (dialog 100): the main icon, the version text and an OK
// button that is the default. OK, Esc and the close box end it.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
