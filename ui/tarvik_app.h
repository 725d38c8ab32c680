// The application: the Qt application object and its start-up step, which
// shows the main window and runs until the window is closed.
#pragma once

#include <QApplication>
#include <cstdint>
#include <memory>
#include <string>

#include "charts/chart_plan.h"
#include "charts/quality_chart.h"
#include "snmp/agent_link.h"

struct DeviceReadings;
class ReadingHistory;

// What the command line adds to the window; none of it changes what the
// window does.
struct WindowOptions {
    uint16_t default_port = kDefaultAgentPort;  // for addresses that name no port
    std::string address;                        // put into the address box; empty: none
    std::string community;                      // put into its field; empty: the default
    std::string interval;                       // put into its field; empty: the default
    std::string log_file;       // put into its field, "Log to file" checked; empty: neither
    bool autostart = false;     // press Get, then Start, once the window shows
    bool open_trends = false;   // then open the trends window, showing all
    bool open_journal = false;  // or the journal window
    bool demo = false;    // a history of its own, so the demo's address stays out of the real one
    std::string journal;  // the journal file the window appends to; empty: none
    std::string title;    // the window's title; empty: the dialog's own
};

class CTarvikApp : public QApplication {
public:
    CTarvikApp(int& argc, char** argv);

    // Whether a window system is there to show the window in: on X11 and
    // Wayland a display is named, or a Qt platform is chosen explicitly.
    // Checked before the application object is made, which would abort
    // without one.
    static bool display_available();

    // Initialises and shows the main window and runs it until it is closed.
    // The settings file is "<executable name>.INI" in the user's
    // configuration folder. Returns the process's exit status.
    int start_application(const WindowOptions& options, DeviceReadings& readings);

    // From here on Qt's own notes (the offscreen platform's, a missing
    // runtime folder) are dropped and only its errors shown: for a run that
    // writes a file, where they would read as the run's trouble. Before the
    // application object, whose making gives some of them.
    static void show_only_errors();

    // Shows `history` (read from the log named `source`) in the trends
    // window alone, and runs until that window is closed.
    // `markers`: the journal's events that belong with the log; `journal`
    // marks the logs opened in the window.
    int start_plot(std::unique_ptr<ReadingHistory> history, const std::string& source,
                   const std::string& journal, std::vector<charts::QualityBar> quality = {},
                   std::vector<charts::ChartMarker> markers = {});

    // Draws `history` as the trends window draws it, `width` x `height`
    // pixels, over [from, to] (seconds since the epoch), and saves that as
    // a PNG image at `path`, without showing a window. False when the file
    // cannot be written.
    // Writes one error performance chart per device (`titles[i]` over
    // `bins[i]`), stacked, as a PNG `width` pixels wide.
    static bool save_quality_png(const std::vector<std::string>& titles,
                                 const std::vector<std::vector<charts::QualityBar>>& bins,
                                 const std::string& path, int width);
    bool save_plot_png(std::unique_ptr<ReadingHistory> history,
                       std::vector<charts::QualityBar> quality,
                       std::vector<charts::ChartMarker> markers, const std::string& path, int width,
                       int height, double from, double to);
};
