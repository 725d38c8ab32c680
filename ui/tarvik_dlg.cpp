#include "ui/tarvik_dlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTextBlock>
#include <algorithm>
#include <utility>

#include "device/panes.h"
#include "res/dialog_templates.h"
#include "ui/about_dlg.h"
#include "ui/dialog_builder.h"
#include "ui/journal_window.h"
#include "ui/pane_edit.h"
#include "ui/trends_window.h"

namespace {

// Texts cross the window services as byte strings in UTF-8, so host names,
// the community and the key keep every character the operator typed; the
// log file's name is in the platform's file-name encoding instead, which is
// what opening it needs.
QString to_qt(const std::string& text, ControlId id = ControlId::kAddressBox) {
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    return id == ControlId::kLogFileField ? QFile::decodeName(bytes) : QString::fromUtf8(bytes);
}

std::string to_bytes(const QString& text, ControlId id = ControlId::kAddressBox) {
    const QByteArray bytes =
        id == ControlId::kLogFileField ? QFile::encodeName(text) : text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// The monitor breaks pane lines with "\r\n"; the widget keeps one block
// per line.
QString pane_text_to_qt(const std::string& text) {
    QString result = to_qt(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

std::string pane_text_from_qt(const QPlainTextEdit& pane) {
    std::string text;
    for (QTextBlock block = pane.document()->begin(); block.isValid(); block = block.next()) {
        if (block != pane.document()->begin()) {
            text += "\r\n";
        }
        text += to_bytes(block.text());
    }
    return text;
}

// List operations on the address box leave its edit text alone, as they do
// on a Windows combo box; Qt would otherwise show another item's text when
// the current item moves or goes.
class KeepEditText {
public:
    explicit KeepEditText(QComboBox* box) : box_(box), text_(box->currentText()) {}
    ~KeepEditText() {
        if (box_->currentText() != text_) {
            box_->setEditText(text_);
        }
    }
    KeepEditText(const KeepEditText&) = delete;
    KeepEditText& operator=(const KeepEditText&) = delete;

private:
    QComboBox* box_;
    QString text_;
};

// The status line below the dialog's controls, in dialog units.
constexpr int kStatusLineTop = 306;
constexpr int kStatusLineHeight = 10;
constexpr int kStatusLineMargin = 7;

constexpr Qt::WindowFlags kMainWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

}  // namespace

CTarvikDlg::CTarvikDlg(DeviceReadings& readings, QWidget* parent)
    : QDialog(parent, kMainWindowFlags),
      units_(1, 1),
      monitor_(*this, readings),
      poll_timer_(this),
      tray_check_(&QSystemTrayIcon::isSystemTrayAvailable),
      tray_shown_([this] { return tray_->isVisible(); }) {
    BuiltDialog built = build_dialog(*this, dialog_template::kMainDialog);
    units_ = built.units;
    for (size_t i = 0; i < built.controls.size(); ++i) {
        const int id = dialog_template::kMainDialog.controls[i].id;
        if (id != dialog_template::kNoId) {
            controls_[static_cast<ControlId>(id)] = built.controls[i];
        }
    }
    // The status line goes below the controls, which stay where they are.
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status_line"));
    const QSize template_size = size();
    const int margin = units_.x_to_pixels(kStatusLineMargin);
    status_->setGeometry(margin, units_.y_to_pixels(kStatusLineTop),
                         template_size.width() - 2 * margin, units_.y_to_pixels(kStatusLineHeight));
    setFixedSize(template_size.width(), units_.y_to_pixels(kStatusLineTop + kStatusLineHeight + 2));
    answer_deadline_.setSingleShot(true);
    setWindowIcon(load_main_icon());
    control_as<QLineEdit>(ControlId::kKeyField)->setMaxLength(kKeyLimit);
    poll_timer_.setObjectName(QStringLiteral("poll_timer"));

    // X11 and Wayland windows have no system menu to extend: the About item
    // stands in the window's context menu and in the tray icon's menu.
    trends_action_ = new QAction(QStringLiteral("&Trends..."), this);
    trends_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    journal_action_ = new QAction(QStringLiteral("&Journal..."), this);
    journal_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    about_action_ = new QAction(QString::fromLatin1(dialog_template::kAboutItemText), this);
    addAction(trends_action_);
    addAction(journal_action_);
    addAction(about_action_);
    tray_menu_ = new QMenu(this);
    tray_menu_->addAction(trends_action_);
    tray_menu_->addAction(journal_action_);
    tray_menu_->addAction(about_action_);
    // The same menu pops up over the window, without a loop of its own
    // (which would hold an exchange's wait while it is open).
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { tray_menu_->popup(mapToGlobal(at)); });
    tray_ = new QSystemTrayIcon(load_tray_icon(), this);
    tray_->setToolTip(QString::fromLatin1(dialog_template::kTrayTip));
    tray_->setContextMenu(tray_menu_);
    notifier_ = std::make_unique<DesktopNotifier>(tray_, [this] { return tray_check_(); });

    setup_connections();
}

void CTarvikDlg::show_lamp(int rail, LampState state) {
    auto* lamp = control_as<QCheckBox>(kVoltageLamps[rail]);
    if (lamp == nullptr) {
        return;
    }
    if (state != LampState::kClear) {
        // Box and background both: an 8-unit check box must read as red
        // from across the room, whatever the style draws for the tick.
        const QColor colour = state == LampState::kLit ? QColor(kLitLampColour)
                                                       : QColor::fromRgb(kNotKnownLampColour);
        QPalette filled = lamp->palette();
        for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
            filled.setColor(role, colour);
        }
        lamp->setPalette(filled);
        lamp->setAutoFillBackground(true);
    } else {
        // An empty palette inherits the window's again: the lamp as it was.
        lamp->setPalette(QPalette());
        lamp->setAutoFillBackground(false);
    }
    lamp->setToolTip(QString::fromStdString(lamp_tip(state, rail)));
}

void CTarvikDlg::show_stale(ControlId pane, bool stale) {
    QWidget* widget = control(pane);
    if (widget == nullptr) {
        return;
    }
    QPalette palette = widget->palette();
    const QPalette window_palette = this->palette();
    palette.setColor(
        QPalette::Active, QPalette::Text,
        window_palette.color(stale ? QPalette::Disabled : QPalette::Active, QPalette::Text));
    palette.setColor(
        QPalette::Inactive, QPalette::Text,
        window_palette.color(stale ? QPalette::Disabled : QPalette::Inactive, QPalette::Text));
    widget->setPalette(palette);
    widget->setToolTip(stale ? QStringLiteral("No answer since this was read") : QString());
}

CTarvikDlg::~CTarvikDlg() {
    // Boxes still open must not reach the monitor as it goes.
    for (const QPointer<QMessageBox>& box : boxes_) {
        if (box != nullptr) {
            box->disconnect(this);
            delete box.data();
        }
    }
    // The notifier goes before the monitor closes its link's socket.
    delete answer_ready_;
    answer_ready_ = nullptr;
}

void CTarvikDlg::setup_connections() {
    for (const auto& b : kButtonHandlers) {
        const auto handler = b.handler;
        connect(control_as<QPushButton>(b.id), &QPushButton::clicked, this,
                [this, handler] { monitor_.command(input(), handler); });
    }
    // What a click on a lamp does is the monitor's to say; the lamp is then
    // drawn from its view.
    for (int rail = 0; rail < kVoltageAlarmCount; ++rail) {
        connect(control_as<QCheckBox>(kVoltageLamps[rail]), &QCheckBox::clicked, this,
                [this, rail] { monitor_.on_lamp_click(rail); });
    }
    monitor_.set_alarm_listener([this](const AlarmEvent& event) { on_alarm(event); });
    connect(&poll_timer_, &QTimer::timeout, this, &CTarvikDlg::on_poll_timer);
    connect(&answer_deadline_, &QTimer::timeout, this, [this] { monitor_.on_deadline(); });
    connect(about_action_, &QAction::triggered, this, &CTarvikDlg::on_about);
    connect(trends_action_, &QAction::triggered, this, &CTarvikDlg::on_trends);
    connect(journal_action_, &QAction::triggered, this, &CTarvikDlg::on_journal);
    monitor_.set_journal_listener([this](const JournalEvent& event) { on_journal_event(event); });
    connect(tray_, &QSystemTrayIcon::activated, this, &CTarvikDlg::on_tray_activated);
}

void CTarvikDlg::initialise(SettingsStore* settings) {
    settings_ = settings;
    monitor_.initialise(settings);
}

QWidget* CTarvikDlg::control(ControlId id) const {
    const auto it = controls_.find(id);
    return it != controls_.end() ? it->second : nullptr;
}

template <class Widget>
Widget* CTarvikDlg::control_as(ControlId id) const {
    return qobject_cast<Widget*>(control(id));
}

void CTarvikDlg::set_text(ControlId id, const std::string& text) {
    QWidget* widget = control(id);
    if (auto* pane = qobject_cast<QPlainTextEdit*>(widget)) {
        pane->setPlainText(pane_text_to_qt(text));
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(to_qt(text, id));
    } else if (auto* box = qobject_cast<QComboBox*>(widget)) {
        box->setEditText(to_qt(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(to_qt(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(to_qt(text));
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(to_qt(text));
    }
}

std::string CTarvikDlg::get_text(ControlId id) const {
    QWidget* widget = control(id);
    if (auto* pane = qobject_cast<QPlainTextEdit*>(widget)) {
        return pane_text_from_qt(*pane);
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return to_bytes(edit->text(), id);
    }
    if (auto* box = qobject_cast<QComboBox*>(widget)) {
        return to_bytes(box->currentText());
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return to_bytes(button->text());
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return to_bytes(label->text());
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        return to_bytes(group->title());
    }
    return std::string();
}

OperatorInput CTarvikDlg::input() const {
    return read_operator_input([this](ControlId id) { return get_text(id); },
                               [this](ControlId id) { return get_check(id); });
}

bool CTarvikDlg::get_check(ControlId id) const {
    const auto* box = control_as<QCheckBox>(id);
    return box != nullptr && box->isChecked();
}

void CTarvikDlg::set_check(ControlId id, bool state) {
    if (auto* box = control_as<QCheckBox>(id)) {
        box->setChecked(state);
    }
}

void CTarvikDlg::draw_history(const std::vector<std::string>& history) {
    auto* box = control_as<QComboBox>(ControlId::kAddressBox);
    if (box == nullptr) {
        return;
    }
    const KeepEditText keep(box);
    box->clear();
    for (const std::string& entry : history) {
        box->addItem(to_qt(entry));
    }
}

void CTarvikDlg::draw(const ViewState& view) {
    const bool all = !drawn_once_;
    for (const auto& pane : view.panes) {
        // Compared with the view drawn last, so that a pane is written only
        // when its text changes.
        const auto shown = drawn_.panes.find(pane.first);
        if (all || shown == drawn_.panes.end() || shown->second != pane.second) {
            set_text(pane.first, pane.second);
        }
        const bool stale = is_stale(view, pane.first);
        if (all || stale != is_stale(drawn_, pane.first)) {
            show_stale(pane.first, stale);
        }
    }
    for (int rail = 0; rail < kVoltageAlarmCount; ++rail) {
        const bool lit = view.lamps[rail] == LampState::kLit;
        if (auto* lamp = control_as<QCheckBox>(kVoltageLamps[rail])) {
            lamp->setChecked(lit);
        }
        show_lamp(rail, view.lamps[rail]);
    }
    // The operator's own clicks and typing stand until the monitor fills
    // the boxes or fields anew.
    const FieldCopies copies = field_copies(drawn_, view, all);
    if (copies.switches) {
        set_check(ControlId::kRadioCheckBox, view.radio);
        set_check(ControlId::kHeaterCheckBox, view.heater);
    }
    if (all || view.history != drawn_.history) {
        draw_history(view.history);
    }
    if (copies.fields) {
        set_text(ControlId::kAddressBox, view.fields.address);
        set_text(ControlId::kCommunityField, view.fields.community);
        set_text(ControlId::kIntervalField, view.fields.interval);
        set_check(ControlId::kLogCheckBox, view.fields.log);
        set_text(ControlId::kLogFileField, view.fields.log_file);
    }
    for (ControlId id : {ControlId::kLogCheckBox, ControlId::kLogFileField}) {
        if (QWidget* widget = control(id)) {
            widget->setEnabled(view.log_controls_enabled);
        }
    }
    status_->setText(to_qt(view.status));
    const bool polled = !all && view.polls_shown != drawn_.polls_shown;
    drawn_ = view;
    drawn_once_ = true;
    update_tray_alarm();
    if (polled) {
        refresh_trends();
    }
}

void CTarvikDlg::start_timer(int period_ms) {
    poll_timer_.start(period_ms);
}

void CTarvikDlg::stop_timer() {
    poll_timer_.stop();
}

void CTarvikDlg::await_answer(std::intptr_t socket, int wait_ms) {
    if (answer_ready_ == nullptr || answer_ready_->socket() != socket) {
        delete answer_ready_;
        answer_ready_ = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        connect(answer_ready_, &QSocketNotifier::activated, this,
                [this] { monitor_.on_socket_readable(); });
    }
    answer_ready_->setEnabled(true);
    waiting_ = true;
    deadline_ = now() + std::chrono::milliseconds(wait_ms);
    answer_deadline_.start(wait_ms);
}

void CTarvikDlg::advance(std::chrono::milliseconds step) {
    offset_ += step;
    if (!waiting_) {
        return;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - now()).count();
    if (left > 0) {
        answer_deadline_.start(static_cast<int>(left));
        return;
    }
    answer_deadline_.stop();
    monitor_.on_deadline();
}

void CTarvikDlg::end_wait() {
    waiting_ = false;
    answer_deadline_.stop();
    if (answer_ready_ != nullptr) {
        answer_ready_->setEnabled(false);
    }
}

void CTarvikDlg::message_box(const std::string& text) {
    if (message_box_hook_) {
        message_box_hook_(text);
        monitor_.message_box_closed(text);
    } else {
        show_message_box(text);
    }
}

void CTarvikDlg::show_message_box(const std::string& text) {
    // Modal to the window, but opened without a loop of its own: polls go
    // on while it is open, and the monitor hears when it closes.
    auto* box = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(),
                                to_qt(text), QMessageBox::Ok, isVisible() ? this : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, text] { monitor_.message_box_closed(text); });
    boxes_.erase(std::remove(boxes_.begin(), boxes_.end(), nullptr), boxes_.end());
    boxes_.emplace_back(box);
    box->open();
}

void CTarvikDlg::on_poll_timer() {
    monitor_.on_timer(kPollTimerId);
}

void CTarvikDlg::on_alarm(const AlarmEvent& event) {
    notifier_->notify(
        event.cleared ? QStringLiteral("Tarvik: alarm cleared") : QStringLiteral("Tarvik alarm"),
        to_qt(event.text));
    update_tray_alarm();
}

void CTarvikDlg::update_tray_alarm() {
    const QString tip = QString::fromLatin1(dialog_template::kTrayTip);
    const std::string& alarm = drawn_.standing_alarm;
    if (!alarm.empty()) {
        tray_->setIcon(load_tray_alarm_icon());
        tray_->setToolTip(tip + QStringLiteral(": ") + to_qt(alarm));
    } else {
        tray_->setIcon(load_tray_icon());
        tray_->setToolTip(tip);
    }
}

void CTarvikDlg::reject() {
    // The window is ending: the monitor ends what is in flight, runs
    // nothing queued and writes the history.
    monitor_.close(settings_);
    tray_->hide();
    QDialog::reject();
}

void CTarvikDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter clicks the push button that has the focus and does nothing
        // anywhere else: it never ends the console.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CTarvikDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_check_()) {
        // Hidden once the state change is through, as window systems expect.
        QMetaObject::invokeMethod(this, &CTarvikDlg::hide_in_tray, Qt::QueuedConnection);
    }
}

void CTarvikDlg::hide_in_tray() {
    if (!isMinimized() || !isVisible()) {
        return;
    }
    tray_->show();
    if (!tray_shown_()) {
        // An icon that cannot be shown would leave no way back: the window
        // stays minimised instead.
        tray_->hide();
        return;
    }
    hide();
}

void CTarvikDlg::on_tray_activated(QSystemTrayIcon::ActivationReason reason) {
    // A click with either button brings the window back; hovering does not.
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context &&
        reason != QSystemTrayIcon::DoubleClick) {
        return;
    }
    showNormal();
    raise();
    activateWindow();
    tray_->hide();
}

void CTarvikDlg::refresh_trends() {
    if (trends_ != nullptr && trends_->isVisible()) {
        trends_->refresh();
    }
}

void CTarvikDlg::on_trends() {
    if (trends_ == nullptr) {
        trends_ = std::make_unique<TrendsWindow>();
        trends_->show_history(&monitor_.trends(), QStringLiteral("live"), &monitor_.quality());
        std::vector<charts::ChartMarker> markers;
        for (const JournalEvent& event : monitor_.journal_events()) {
            markers.push_back(journal_marker(event));
        }
        trends_->set_live_markers(std::move(markers));
        trends_->set_journal(journal_path_);
    }
    trends_->show();
    trends_->raise();
    trends_->activateWindow();
    trends_->refresh();
}

void CTarvikDlg::on_about() {
    if (about_ != nullptr) {
        about_->raise();
        about_->activateWindow();
        return;
    }
    // Modal without a loop of its own: chosen during an exchange's wait,
    // exec() would hold the wait until the box closed.
    auto* about = new CAboutDlg(isVisible() ? this : nullptr);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about_ = about;
    about->open();
}

void CTarvikDlg::set_journal(const std::string& path) {
    journal_path_ = path;
    monitor_.set_journal(path);
}

void CTarvikDlg::on_journal() {
    if (journal_ == nullptr) {
        journal_ = std::make_unique<JournalWindow>();
        // The file holds the past and, when it could be written, this
        // session's events too.
        journal_->load(journal_path_);
        journal_->add_missing(monitor_.journal_events());
    }
    journal_->show();
    journal_->raise();
    journal_->activateWindow();
}

void CTarvikDlg::on_journal_event(const JournalEvent& event) {
    if (journal_ != nullptr) {
        journal_->add(event);
    }
    if (trends_ != nullptr) {
        trends_->add_live_marker(journal_marker(event));
    }
}
