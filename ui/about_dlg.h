// The About box (dialog 100): the main icon, the version text and an OK
// button that is the default. OK, Esc and the close box end it. Under the
// dialog's own text a second line gives the program's version and the Qt
// version it runs on.
#pragma once

#include <QDialog>
#include <QString>

// "Version 0.1.0, Qt 6.4.2".
QString about_version_text();

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
