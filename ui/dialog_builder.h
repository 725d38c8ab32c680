// Builds a dialog from its control table in res/: the dialog font, the
// title, the fixed size, and every control in template order, which is also
// the tab order. Controls are children of the dialog itself, group boxes
// included (they only frame the controls drawn over them), and are named by
// their IDs ("1005") or, without an ID, by their readable names.
#pragma once

#include <QIcon>
#include <vector>

#include "res/dialog_templates.h"
#include "ui/dialog_units.h"

class QDialog;
class QWidget;

struct BuiltDialog {
    DialogUnits units;
    std::vector<QWidget*> controls;  // in template order
};

BuiltDialog build_dialog(QDialog& dialog, const dialog_template::Dialog& layout);

// Icon 128 (32 x 32 and 16 x 16) and icon 129 (16 x 16).
QIcon load_main_icon();
QIcon load_tray_icon();
// Icon 129 while an alarm stands.
QIcon load_tray_alarm_icon();
