// Program entry of the desktop utility.

#include <QApplication>
#include <QByteArray>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "app/icons.h"
#include "app/main_window.h"
#include "app/qt_host_services.h"
#include "app/screenshot.h"
#include "app/simulation.h"
#include "kstbell_version.h"
#include "platform/backends.h"
#include "shell/context.h"
#include "shell/display.h"
#include "shell/host_services.h"

namespace {

using namespace kstbell;

// An error that escapes an event handler is shown in the standard error box and the program
// goes on with its next event.
class TApplication : public QApplication {
  public:
    TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    void SetHost(IHostServices* host) { host_ = host; }

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ShowError(e.what());
        } catch (...) {
            ShowError(std::string());
        }
        return false;
    }

  private:
    void ShowError(const std::string& message) {
        if (host_ == nullptr) {
            std::fprintf(stderr, "kstbell: %s\n", message.c_str());
            return;
        }
        try {
            ShowErrorBox(*host_, message);
        } catch (...) {
            std::fprintf(stderr, "kstbell: %s\n", message.c_str());
        }
    }

    IHostServices* host_ = nullptr;
};

struct TProgramOptions {
    bool Simulate = false;
};

// Returns false (after printing the usage line) when the command line holds anything else
// than the known options. Qt's own options are taken out by QApplication before this.
bool ParseOptions(const QStringList& arguments, TProgramOptions& options) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QStringLiteral("--simulate")) {
            options.Simulate = true;
            continue;
        }
        std::fprintf(stderr, "kstbell: unknown option '%s'\nusage: kstbell [--simulate]\n",
                     arguments[i].toLocal8Bit().constData());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before any window system is asked for, so they work anywhere.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version") {
            std::printf("kstbell %s\n", KSTBELL_VERSION);
            return 0;
        }
        if (arg == "--help") {
            std::printf(
                "usage: kstbell [--simulate]\n  --simulate  run against a simulated horn\n");
            return 0;
        }
    }
    TApplication app(argc, argv);
    app.setWindowIcon(ProgramIcon());

    TProgramOptions options;
    if (!ParseOptions(QApplication::arguments(), options)) return 2;

    // With --simulate the horn and this PC's Wi-Fi are stood in for; everything else runs as
    // with a real device.
    TSimulation simulation;
    if (options.Simulate) {
        try {
            simulation.Start();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kstbell: cannot start the simulated device: %s\n", e.what());
            return 1;
        }
    }
    const std::unique_ptr<IHostNetworkSource> hostNetwork =
        options.Simulate ? nullptr : MakeHostNetworkSource();
    IHostNetworkSource& network = options.Simulate ? *simulation.Network : *hostNetwork;

    TQtHostServices host;
    const std::unique_ptr<ITcpClient> tcp = MakeTcpClient(host);
    TContext ctx(*tcp, host, network);
    if (options.Simulate) {
        simulation.Wire(ctx);
    } else {
        // The horn is kept apart from the other kstbell programs on this PC; the window stays
        // alive while it waits for one of them.
        ctx.Session.HostLock.Locks = &HostLocksOfThisPc();
        ctx.Session.HostLock.Pump = &host;
    }
    TForm1 window(ctx, host);
    host.SetMainWindow(&window, [&window] { window.Render(); });
    app.SetHost(&host);

    window.RunHandler([&ctx] { FormCreate(ctx, std::filesystem::current_path()); });
    window.show();
    window.Timer3().start();
    ArmScreenshot(app, window);

    const int status = QApplication::exec();
    app.SetHost(nullptr);
    return status;
}
