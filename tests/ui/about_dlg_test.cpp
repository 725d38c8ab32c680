// The About box: its title, texts, icon, default button and size.
#include "ui/about_dlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "ui/dialog_units.h"

namespace {

TEST(AboutDlg, ShowsTheIconTheVersionAndADefaultOkButton) {
    CAboutDlg box;
    EXPECT_EQ(box.windowTitle().toStdString(), "About Tarvik v7310QX-2");
    const auto* text = box.findChild<QLabel*>(QStringLiteral("about_text"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text().toStdString(), "Tarvik Version 7310QX-2");
    EXPECT_EQ(text->textFormat(), Qt::PlainText);
    // The second line: the package's version and the Qt it runs on, below
    // the first and clear of it.
    const auto* version = box.findChild<QLabel*>(QStringLiteral("about_version"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Version ") + QStringLiteral(TARVIK_TEST_VERSION) +
                                   QStringLiteral(", Qt ") + QString::fromLatin1(qVersion()));
    EXPECT_GE(version->geometry().top(), text->geometry().bottom());
    EXPECT_EQ(version->geometry().left(), text->geometry().left());
    const auto* icon = box.findChild<QLabel*>(QStringLiteral("about_icon"));
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
    const auto* ok = box.findChild<QPushButton*>(QStringLiteral("1"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text().toStdString(), "OK");
    EXPECT_TRUE(ok->isDefault());

    const DialogUnits units(box.font());
    EXPECT_EQ(units.x_to_units(box.width()), 235);
    EXPECT_EQ(units.y_to_units(box.height()), 55);
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_FALSE(box.windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST(DialogUnits, ConvertLikeTheDialogManagerAndBackExactly) {
    const DialogUnits units(6, 13);  // MS Sans Serif 8 at 96 dpi
    EXPECT_EQ(units.to_pixels(473, 308), QSize(710, 501));
    EXPECT_EQ(units.to_pixels(7, 223, 78, 14), QRect(11, 362, 117, 23));
    for (int du = 0; du < 500; ++du) {
        EXPECT_EQ(units.x_to_units(units.x_to_pixels(du)), du);
        EXPECT_EQ(units.y_to_units(units.y_to_pixels(du)), du);
    }
}

}  // namespace
