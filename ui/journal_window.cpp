#include "ui/journal_window.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>
#include <functional>
#include <iterator>

namespace {

// The first three columns are as wide as these texts; the detail takes the
// rest.
constexpr const char* kColumnSamples[] = {"00.00.0000 00:00:00", "255.255.255.255 (SN 00-000000)",
                                          "Identification changed"};
constexpr int kColumnPadding = 16;

}  // namespace

// Hands the table the view's rows in sight; holds nothing of its own.
class JournalWindow::Model : public QAbstractTableModel {
public:
    Model(const JournalView& view, QObject* parent) : QAbstractTableModel(parent), view_(view) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(view_.rows());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : JournalView::kColumnCount;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
            return QVariant();
        }
        // The whole detail in the tooltip, where the column cuts it short.
        if (role == Qt::ToolTipRole && index.column() != JournalView::kDetailColumn) {
            return QVariant();
        }
        return QString::fromStdString(
            view_.cell(static_cast<std::size_t>(index.row()), index.column()));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return QVariant();
        }
        return QString::fromLatin1(JournalView::column_title(section));
    }
    void reset(const std::function<void()>& change) {
        beginResetModel();
        change();
        endResetModel();
    }
    void insert_top(const std::function<void()>& change) {
        beginInsertRows(QModelIndex(), 0, 0);
        change();
        endInsertRows();
    }

private:
    const JournalView& view_;
};

JournalWindow::JournalWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("journal_window"));
    setWindowTitle(QStringLiteral("Tarvik journal"));
    QSize size(980, 520);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size());
    }
    resize(size);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    device_box_ = new QComboBox(this);
    device_box_->setObjectName(QStringLiteral("journal_device"));
    device_box_->addItem(QStringLiteral("All devices"));
    device_box_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    kind_box_ = new QComboBox(this);
    kind_box_->setObjectName(QStringLiteral("journal_kind"));
    kind_box_->addItem(QStringLiteral("All kinds"));
    for (int k = 0; k < kJournalKindCount; ++k) {
        kind_box_->addItem(QString::fromStdString(journal_kind_label(static_cast<JournalKind>(k))));
    }
    bar->addWidget(device_box_);
    bar->addWidget(kind_box_);
    bar->addStretch();
    layout->addLayout(bar);

    model_ = new Model(view_, this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("journal_table"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->setAlternatingRowColors(true);
    // Fixed rows and columns: the table never measures its rows' contents,
    // which over 260,000 rows would take seconds.
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < static_cast<int>(std::size(kColumnSamples)); ++c) {
        table_->setColumnWidth(
            c, table_->fontMetrics().horizontalAdvance(QString::fromLatin1(kColumnSamples[c])) +
                   kColumnPadding);
    }
    layout->addWidget(table_, 1);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("journal_status"));
    layout->addWidget(status_);
    setup_connections();
    update_status();
}

JournalWindow::~JournalWindow() = default;

void JournalWindow::setup_connections() {
    connect(device_box_, &QComboBox::currentIndexChanged, this, &JournalWindow::on_device_chosen);
    connect(kind_box_, &QComboBox::currentIndexChanged, this, &JournalWindow::on_kind_chosen);
}

std::uint64_t JournalWindow::load(const std::string& path) {
    if (path.empty()) {
        return 0;
    }
    std::uint64_t read = 0;
    model_->reset([&] {
        read = read_journal_files(
            journal_files(path), [this](const JournalEvent& e) { view_.add(e); },
            [this](const std::string&) { ++problems_; });
    });
    update_devices();
    update_status();
    return read;
}

void JournalWindow::add_missing(const std::deque<JournalEvent>& events) {
    model_->reset([&] { view_.add_missing(events); });
    update_devices();
    update_status();
}

void JournalWindow::add(const JournalEvent& event) {
    const std::size_t devices = view_.devices().size();
    if (view_.full()) {
        // The oldest goes too, perhaps from the bottom of the rows shown.
        model_->reset([&] { view_.add(event); });
    } else if (view_.shows(event)) {
        model_->insert_top([&] { view_.add(event); });
    } else {
        view_.add(event);
    }
    if (view_.devices().size() != devices) {
        update_devices();
    }
    update_status();
}

void JournalWindow::on_device_chosen(int index) {
    model_->reset([&] { view_.set_device_filter(index - 1); });
    update_status();
}

void JournalWindow::on_kind_chosen(int index) {
    model_->reset([&] { view_.set_kind_filter(index - 1); });
    update_status();
}

void JournalWindow::update_devices() {
    for (int i = device_box_->count() - 1; i < static_cast<int>(view_.devices().size()); ++i) {
        device_box_->addItem(QString::fromStdString(view_.devices()[static_cast<std::size_t>(i)]));
    }
}

void JournalWindow::update_status() {
    QString text = QStringLiteral("%1 events shown").arg(view_.rows());
    if (view_.dropped() > 0) {
        text += QStringLiteral("; the %1 oldest not held").arg(view_.dropped());
    }
    if (problems_ > 0) {
        text += QStringLiteral("; %1 journal lines could not be read").arg(problems_);
    }
    status_->setText(text);
}
