#include "ui/dialog_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "ui/pane_edit.h"

// The icons are compiled into this static library; naming the resource
// keeps the linker from dropping it.
static void load_resources() {
    Q_INIT_RESOURCE(tarvik);
}

namespace {

using dialog_template::Control;
using dialog_template::ControlKind;

constexpr int kTabStopUnits = 32;

QWidget* make_control(const Control& c, QDialog& dialog, const DialogUnits& units) {
    const QString caption = c.caption != nullptr ? QString::fromLatin1(c.caption) : QString();
    switch (c.kind) {
        case ControlKind::kPushButton:
        case ControlKind::kDefaultPushButton: {
            auto* button = new QPushButton(caption, &dialog);
            // Only a default button answers Enter by itself; see CTarvikDlg.
            button->setAutoDefault(c.kind == ControlKind::kDefaultPushButton);
            button->setDefault(c.kind == ControlKind::kDefaultPushButton);
            return button;
        }
        case ControlKind::kStaticText: {
            auto* label = new QLabel(&dialog);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setText(caption);
            return label;
        }
        case ControlKind::kStaticIcon: {
            auto* label = new QLabel(&dialog);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setPixmap(load_main_icon().pixmap(32, 32));
            return label;
        }
        case ControlKind::kGroupBox:
            return new QGroupBox(caption, &dialog);
        case ControlKind::kCheckBox: {
            auto* box = new QCheckBox(caption, &dialog);
            const QRect rect = units.to_pixels(c.x, c.y, c.width, c.height);
            const int room = std::min(rect.width(), rect.height()) - 2;
            if (room < box->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, box)) {
                // A box too small for its caption (the voltage lamps) shows
                // just the square, whole.
                box->setStyleSheet(QStringLiteral("QCheckBox::indicator { width: %1px; "
                                                  "height: %1px; }")
                                       .arg(room));
            }
            return box;
        }
        case ControlKind::kEdit:
            return new QLineEdit(&dialog);
        case ControlKind::kPane:
        case ControlKind::kEnterPane: {
            auto* pane = new PaneEdit(c.kind == ControlKind::kEnterPane, &dialog);
            // Tab stops every 32 dialog units, as in a Windows edit control:
            // the panes' columns are laid out with tabs.
            pane->setTabStopDistance(units.x_to_pixels(kTabStopUnits));
            return pane;
        }
        case ControlKind::kDropDownCombo: {
            auto* box = new QComboBox(&dialog);
            box->setEditable(true);
            // The list is the monitor's alone: typing never adds to it and
            // nothing completes the operator's text from it.
            box->setInsertPolicy(QComboBox::NoInsert);
            box->setCompleter(nullptr);
            // The template's height includes the dropped list.
            const int list_height = units.y_to_pixels(c.height) - box->sizeHint().height();
            const int item_height = QFontMetrics(dialog.font()).height() + 2;
            box->setMaxVisibleItems(std::max(1, list_height / item_height));
            return box;
        }
    }
    return nullptr;
}

QRect control_geometry(const Control& c, QWidget* widget, const DialogUnits& units) {
    QRect rect = units.to_pixels(c.x, c.y, c.width, c.height);
    if (c.kind == ControlKind::kDropDownCombo) {
        rect.setHeight(widget->sizeHint().height());
    }
    if (c.kind == ControlKind::kStaticText) {
        // Fonts other than the template's may be wider than it allowed
        // for; a label then grows to the right, where the templates leave
        // room, rather than lose the end of its text.
        rect.setWidth(std::max(rect.width(), widget->sizeHint().width()));
    }
    return rect;
}

}  // namespace

BuiltDialog build_dialog(QDialog& dialog, const dialog_template::Dialog& layout) {
    load_resources();
    QFont font = dialog.font();
    font.setPointSize(layout.font_point_size);
    dialog.setFont(font);
    BuiltDialog built{DialogUnits(font), {}};

    dialog.setWindowTitle(QString::fromLatin1(layout.title));
    dialog.setFixedSize(built.units.to_pixels(layout.width, layout.height));

    QWidget* previous_stop = nullptr;
    for (int i = 0; i < layout.control_count; ++i) {
        const Control& c = layout.controls[i];
        QWidget* widget = make_control(c, dialog, built.units);
        widget->setObjectName(c.id != dialog_template::kNoId ? QString::number(c.id)
                                                             : QString::fromLatin1(c.name));
        widget->setGeometry(control_geometry(c, widget, built.units));
        if (c.kind == ControlKind::kGroupBox) {
            // Under every other control, so clicks reach what it frames.
            widget->lower();
        }
        if ((widget->focusPolicy() & Qt::TabFocus) != 0) {
            if (previous_stop != nullptr) {
                QWidget::setTabOrder(previous_stop, widget);
            }
            previous_stop = widget;
        }
        built.controls.push_back(widget);
    }
    return built;
}

QIcon load_main_icon() {
    load_resources();
    QIcon icon;
    icon.addFile(QString::fromLatin1(dialog_template::kMainIcon32));
    icon.addFile(QString::fromLatin1(dialog_template::kMainIcon16));
    return icon;
}

QIcon load_tray_alarm_icon() {
    return QIcon(QString::fromLatin1(dialog_template::kTrayAlarmIcon16));
}

QIcon load_tray_icon() {
    load_resources();
    return QIcon(QString::fromLatin1(dialog_template::kTrayIcon16));
}
