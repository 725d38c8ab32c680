#include "ui/about_dlg.h"

#include <QPushButton>

#include "ui/dialog_builder.h"

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    build_dialog(*this, dialog_template::kAboutDialog);
    setWindowIcon(load_main_icon());
    auto* ok = findChild<QPushButton*>(QStringLiteral("1"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
