// RX47 monitor: wires the core to its Qt adapters and views, and runs the event loop.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <clocale>
#include <filesystem>
#include <memory>

#include "device/link.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/timer_schedule.h"
#include "base/failure.h"
#include "platform/desktop.h"
#include "platform/event_pump.h"
#include "platform/wave_player.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_timer_array.h"
#include "platform/qt/system_clock.h"
#include "storage/settings_row.h"
#include "ui/startup.h"

namespace {

/// The desktop as far as the program uses it so far.
class AppDesktop : public rx47::Desktop {
public:
    void showSplash() override {}
    void closeSplash() override {}
    bool trayAvailable() const override { return false; }
    void addTrayIcon() override {}
    void removeTrayIcon() override {}
    bool trayIconShown() const override { return false; }
    void showSetupDialog() override {}
    std::optional<rx47::Colour> pickColour(rx47::Colour) override { return std::nullopt; }
    void showMessage(const std::string&) override {}
};

/// No sound yet: every playback fails at once.
class SilentPlayer : public rx47::WavePlayer {
public:
    void setCompletionHandler(std::function<void()>) override {}
    void open(const std::filesystem::path&) override { throw rx47::FileError("no sound"); }
    void play() override { throw rx47::FileError("no sound"); }
    void stop() override {}
    void rewind() override {}
    void close() override {}
    std::chrono::milliseconds length() const override { return {}; }
};

class QtPump : public rx47::EventPump {
public:
    void processEvents(std::chrono::milliseconds wait) override {
        QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(wait.count()));
    }
    std::chrono::milliseconds now() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
    }
};

/// A plain readout of the model until the main window's own view takes its place.
class ReadoutWindow : public QWidget {
public:
    explicit ReadoutWindow(const rx47::MainForm& form) : form_(form) {
        setWindowTitle(QString::fromStdString(form.caption));
        auto* layout = new QVBoxLayout(this);
        text_ = new QLabel(this);
        layout->addWidget(text_);
        auto* refresh = new QTimer(this);
        connect(refresh, &QTimer::timeout, this, [this] { render(); });
        refresh->start(250);
        render();
    }

private:
    void render() {
        const auto& l = form_.Label;
        auto row = [&](int heading, int cpm, int dose) {
            return QString::fromStdString(l[heading].caption + "  " + l[cpm].caption + " CPM  " + l[dose].caption +
                                          " μSv/h\n");
        };
        QString text = row(1, rx47::kRealtimeCpm, rx47::kRealtimeDose) + row(18, rx47::kAverageCpm, rx47::kAverageDose) +
                       row(10, rx47::kMaxCpm, rx47::kMaxDose) + row(15, rx47::kMinCpm, rx47::kMinDose) +
                       row(5, rx47::kRunningCpm, rx47::kRunningDose);
        text += QString::fromStdString(l[20].caption + "  " + l[rx47::kTotalCount].caption + "\n");
        if (l[rx47::kStatusMessage].visible) text += QString::fromStdString(l[rx47::kStatusMessage].caption + "\n");
        text_->setText(text);
    }

    const rx47::MainForm& form_;
    QLabel* text_ = nullptr;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Qt takes the locale from the environment; the program's numbers always use "." as point.
    std::setlocale(LC_NUMERIC, "C");
    const std::filesystem::path programFolder = QCoreApplication::applicationDirPath().toStdString();

    rx47::MainForm form = rx47::makeMainForm();
    rx47::MonitorState state;
    rx47::ProgramValues values;
    rx47::SettingsRow settings;
    rx47::QtSerialPort port(programFolder);
    rx47::QtTimerArray timers;
    rx47::SystemClock clock;
    AppDesktop desktop;
    SilentPlayer player;
    QtPump pump;
    rx47::Context ctx{form, state, values, settings, port, timers, clock, desktop, player, pump, programFolder};

    timers.setTickHandler([&ctx](int index) { rx47::onTimerTick(ctx, index); });
    port.setDataReceivedHandler([&ctx] { rx47::onDataReceived(ctx); });
    rx47::Form_Load(ctx);

    ReadoutWindow window(form);
    window.show();
    rx47::Form_Activate(ctx);
    const int result = app.exec();
    try {
        settings.commit();
    } catch (...) {
    }
    return result;
}
