#include "ui/tarvik_app.h"

#include <QFileInfo>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QtGlobal>
#include <algorithm>
#include <cstdlib>

#include "ui/dialog_builder.h"
#include "ui/ini_settings_store.h"
#include "ui/quality_chart_view.h"
#include "ui/stop_signals.h"
#include "ui/tarvik_dlg.h"
#include "ui/trends_window.h"

namespace {

// The height of each device's chart in a saved report.
constexpr int kQualityPngHeight = 300;

bool variable_set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

CTarvikApp::CTarvikApp(int& argc, char** argv) : QApplication(argc, argv) {
    setWindowIcon(load_main_icon());
}

bool CTarvikApp::display_available() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return variable_set("DISPLAY") || variable_set("WAYLAND_DISPLAY") ||
           variable_set("QT_QPA_PLATFORM");
#else
    return true;
#endif
}

int CTarvikApp::start_application(const WindowOptions& options, DeviceReadings& readings) {
    IniSettingsStore settings(
        IniSettingsStore::default_path(options.demo ? QStringLiteral("demo") : QString()));
    CTarvikDlg window(readings);
    window.monitor().set_default_port(options.default_port);
    // The run ends with the window; hiding it in the tray does not end it.
    setQuitOnLastWindowClosed(false);
    connect(&window, &QDialog::finished, this, &QCoreApplication::quit);
    const StopSignalWatcher stop_signals(window);

    window.initialise(&settings);
    window.set_journal(options.journal);
    window.monitor().fill_fields(options.address, options.community, options.interval,
                                 options.log_file);
    if (!options.title.empty()) {
        window.setWindowTitle(QString::fromStdString(options.title));
    }
    if (const QScreen* screen = primaryScreen()) {
        window.move(screen->availableGeometry().center() - window.rect().center());
    }
    window.show();
    if (options.autostart) {
        for (ControlId id : {ControlId::kGetButton, ControlId::kStartButton}) {
            auto* button = qobject_cast<QPushButton*>(window.control(id));
            QTimer::singleShot(0, button, &QPushButton::click);
        }
    }
    if (options.open_trends) {
        QTimer::singleShot(0, &window, [&window] {
            window.trends_action()->trigger();
            window.trends_window()->set_span(TrendsWindow::Span::kAll);
        });
    }
    if (options.open_journal) {
        QTimer::singleShot(0, &window, [&window] { window.journal_action()->trigger(); });
    }
    exec();
    return 0;
}

void CTarvikApp::show_only_errors() {
    static QtMessageHandler shown = nullptr;
    shown = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if ((type == QtCriticalMsg || type == QtFatalMsg) && shown != nullptr) {
                shown(type, context, text);
            }
        });
}

int CTarvikApp::start_plot(std::unique_ptr<ReadingHistory> history, const std::string& source,
                           const std::string& journal, std::vector<charts::QualityBar> quality,
                           std::vector<charts::ChartMarker> markers) {
    TrendsWindow window;
    window.set_journal(journal);
    window.set_span(TrendsWindow::Span::kAll);
    window.take_history(std::move(history), QFileInfo(QFile::decodeName(source.c_str())).fileName(),
                        std::move(quality), std::move(markers));
    window.show();
    exec();
    return 0;
}

bool CTarvikApp::save_quality_png(const std::vector<std::string>& titles,
                                  const std::vector<std::vector<charts::QualityBar>>& bins,
                                  const std::string& path, int width) {
    QWidget page;
    page.setAttribute(Qt::WA_DontShowOnScreen);
    auto* column = new QVBoxLayout(&page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    std::vector<QualityChartView*> views;
    for (std::size_t i = 0; i < bins.size(); ++i) {
        auto* view = new QualityChartView(&page);
        view->set_subject(QString::fromStdString(i < titles.size() ? titles[i] : std::string()));
        column->addWidget(view);
        views.push_back(view);
    }
    const int height = static_cast<int>(std::max<std::size_t>(bins.size(), 1)) * kQualityPngHeight;
    page.setFixedSize(width, height);
    page.show();
    QCoreApplication::processEvents();
    for (std::size_t i = 0; i < views.size(); ++i) {
        views[i]->show_bins(bins[i], 0, 0);
    }
    const bool saved = page.grab().save(QFile::decodeName(path.c_str()), "PNG");
    page.hide();
    return saved;
}

bool CTarvikApp::save_plot_png(std::unique_ptr<ReadingHistory> history,
                               std::vector<charts::QualityBar> quality,
                               std::vector<charts::ChartMarker> markers, const std::string& path,
                               int width, int height, double from, double to) {
    TrendsWindow window;
    window.take_history(std::move(history), QString(), std::move(quality), std::move(markers));
    return window.save_png(QFile::decodeName(path.c_str()), QSize(width, height), from, to);
}
