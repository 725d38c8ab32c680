#include "ui/about_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QtGlobal>
#include <algorithm>

#include "ui/dialog_builder.h"

namespace {

// The second line, under the specified text, in dialog units: where the
// version and the Qt the program runs on are shown.
constexpr int kVersionX = 40;
constexpr int kVersionY = 22;
constexpr int kVersionWidth = 119;
constexpr int kVersionHeight = 8;

}  // namespace

QString about_version_text() {
    return QStringLiteral("Version %1, Qt %2")
        .arg(QStringLiteral(TARVIK_VERSION), QString::fromLatin1(qVersion()));
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    const BuiltDialog built = build_dialog(*this, dialog_template::kAboutDialog);
    setWindowIcon(load_main_icon());
    auto* ok = findChild<QPushButton*>(QStringLiteral("1"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* version = new QLabel(this);
    version->setObjectName(QStringLiteral("about_version"));
    version->setTextFormat(Qt::PlainText);
    version->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    version->setText(about_version_text());
    QRect rect = built.units.to_pixels(kVersionX, kVersionY, kVersionWidth, kVersionHeight);
    rect.setWidth(std::max(rect.width(), version->sizeHint().width()));
    version->setGeometry(rect);
}
