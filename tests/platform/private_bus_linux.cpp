#include "platform/private_bus_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace kstbell::test {

namespace {

using namespace std::chrono_literals;

const QString kNmName = QStringLiteral("org.freedesktop.NetworkManager");
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString kMockMain = QStringLiteral("/org/freedesktop");
constexpr auto kStartTimeout = 10s;

std::atomic<unsigned> busCounter{0};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string DevicePath(const std::string& name) {
    return "/org/freedesktop/NetworkManager/Devices/" + name;
}

std::string AccessPointPath(const std::string& name) {
    return "/org/freedesktop/NetworkManager/AccessPoint/" + name;
}

// The Debian package installs the mock for the system interpreter, which an interpreter
// found first on PATH (a virtualenv, pyenv) may not see.
std::string Python() {
    return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

// Forks and runs argv with stdout and stderr into logFd; passFd (when not -1) becomes fd 3.
// The child dies with the test process.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int logFd,
            int passFd) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    const pid_t pid = ::fork();
    if (pid != 0) {
        ::close(devNull);
        return pid;
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::dup2(devNull, 0);
    ::dup2(logFd, 1);
    ::dup2(logFd, 2);
    if (passFd == 3) {
        ::fcntl(3, F_SETFD, 0);
    } else if (passFd >= 0) {
        ::dup2(passFd, 3);
    }
    ::execvpe(args[0], args.data(), envp.data());
    static constexpr char kExecFailed[] = "cannot run ";
    (void)!::write(2, kExecFailed, sizeof kExecFailed - 1);
    (void)!::write(2, args[0], std::strlen(args[0]));
    ::_exit(127);
}

void Kill(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(5ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

// This process's environment without its bus addresses; address, when given, becomes both the
// system and the session bus of the child.
std::vector<std::string> EnvironmentWith(const std::string& address) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.starts_with("DBUS_SYSTEM_BUS_ADDRESS=") ||
            entry.starts_with("DBUS_SESSION_BUS_ADDRESS="))
            continue;
        env.push_back(entry);
    }
    if (!address.empty()) {
        env.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + address);
        env.push_back("DBUS_SESSION_BUS_ADDRESS=" + address);
    }
    return env;
}

// Reads one line from fd, waiting at most kStartTimeout; empty when none came.
std::string ReadLine(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char c = 0;
        if (::read(fd, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
    }
    return {};
}

}  // namespace

TPrivateBusLinux::~TPrivateBusLinux() {
    Stop();
}

void TPrivateBusLinux::StartBus() {
    char pattern[] = "/tmp/kstbell-bus-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    dir_ = pattern;
    connectionName_ = "kstbell-test-bus-" + std::to_string(++busCounter);

    // No service folders: nothing is ever activated on this bus.
    const std::string config = dir_ + "/bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC "
                             "\"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "  <listen>unix:path="
                          << dir_
                          << "/bus</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                             "    <allow eavesdrop=\"true\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";

    const int logFd =
        ::open((dir_ + "/log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    int pipeFds[2];
    if (logFd < 0 || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        if (logFd >= 0) ::close(logFd);
        throw std::runtime_error("cannot create the bus log or pipe");
    }
    busPid_ = Spawn({"dbus-daemon", "--nofork", "--config-file=" + config, "--print-address=3"},
                    EnvironmentWith(""), logFd, pipeFds[1]);
    ::close(pipeFds[1]);
    ::close(logFd);
    address_ = ReadLine(pipeFds[0]);
    ::close(pipeFds[0]);
    if (address_.empty()) {
        const std::string log = LogTail();
        Stop();
        throw std::runtime_error(
            "dbus-daemon did not start (is the Debian package \"dbus\" installed? scripts/setup "
            "installs it): " +
            log);
    }
    if (!QDBusConnection::connectToBus(Q(address_), Q(connectionName_)).isConnected()) {
        Stop();
        throw std::runtime_error("cannot connect to the private bus at " + address_);
    }
}

void TPrivateBusLinux::StartNetworkManager() {
    const int logFd =
        ::open((dir_ + "/log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (logFd < 0) throw std::runtime_error("cannot open the mock log");
    mockPid_ = Spawn({Python(), "-m", "dbusmock", "--template", "networkmanager"},
                     EnvironmentWith(address_), logFd, -1);
    ::close(logFd);

    QDBusConnection bus(Q(connectionName_));
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (bus.interface()->isServiceRegistered(kNmName).value()) return;
        if (::waitpid(mockPid_, nullptr, WNOHANG) == mockPid_) {
            mockPid_ = -1;
            throw std::runtime_error(
                "the NetworkManager mock exited (is the Debian package \"python3-dbusmock\" "
                "installed? scripts/setup installs it): " +
                LogTail());
        }
        std::this_thread::sleep_for(10ms);
    }
    throw std::runtime_error("the NetworkManager mock did not appear on the bus: " + LogTail());
}

void TPrivateBusLinux::StopNetworkManager() {
    Kill(mockPid_);
}

void TPrivateBusLinux::Stop() {
    Kill(mockPid_);
    Kill(busPid_);
    if (!connectionName_.empty()) QDBusConnection::disconnectFromBus(Q(connectionName_));
    connectionName_.clear();
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        dir_.clear();
    }
    address_.clear();
}

std::string TPrivateBusLinux::LogTail() const {
    std::ifstream in(dir_ + "/log");
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

namespace {

std::string MockCall(const std::string& connection, const std::string& path, const QString& method,
                     const QList<QVariant>& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(kNmName, Q(path), kMockInterface, method);
    call.setArguments(args);
    const QDBusMessage reply = QDBusConnection(Q(connection)).call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        throw std::runtime_error("mock " + method.toStdString() + ": " +
                                 reply.errorMessage().toStdString());
    return reply.arguments().isEmpty() ? std::string()
                                       : reply.arguments().front().toString().toStdString();
}

}  // namespace

std::string TPrivateBusLinux::AddWifiDevice(const std::string& name, const std::string& interface,
                                            std::uint32_t state) {
    return MockCall(connectionName_, kMockMain.toStdString(), QStringLiteral("AddWiFiDevice"),
                    {Q(name), Q(interface), static_cast<int>(state)});
}

std::string TPrivateBusLinux::AddEthernetDevice(const std::string& name,
                                                const std::string& interface, std::uint32_t state) {
    return MockCall(connectionName_, kMockMain.toStdString(), QStringLiteral("AddEthernetDevice"),
                    {Q(name), Q(interface), static_cast<int>(state)});
}

std::string TPrivateBusLinux::AddConnectedWifi(const std::string& name,
                                               const std::string& interface,
                                               const std::string& ssid, const std::string& bssid) {
    const std::string main = kMockMain.toStdString();
    const std::string device = AddWifiDevice(name, interface, kNmStateDisconnected);
    const std::string ap =
        MockCall(connectionName_, main, QStringLiteral("AddAccessPoint"),
                 {Q(device), Q(name), Q(ssid), Q(bssid), 2u /* infrastructure */, 2437u, 54000u,
                  QVariant::fromValue(static_cast<uchar>(80)), 0u /* open */});
    const std::string connection =
        MockCall(connectionName_, main, QStringLiteral("AddWiFiConnection"),
                 {Q(device), Q(name), Q(ssid), QString()});
    // Activating sets the device's state to activated and its ActiveConnection.
    MockCall(connectionName_, main, QStringLiteral("AddActiveConnection"),
             {QStringList{Q(device)}, Q(connection), Q(ap), Q(name), 2u /* activated */});
    // The template leaves out the device's current access point; NetworkManager has it.
    MockCall(connectionName_, device, QStringLiteral("AddProperty"),
             {QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless"),
              QStringLiteral("ActiveAccessPoint"),
              QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath(Q(ap)))))});
    return device;
}

void TPrivateBusLinux::RemoveAccessPoint(const std::string& name) {
    MockCall(connectionName_, kMockMain.toStdString(), QStringLiteral("RemoveAccessPoint"),
             {Q(DevicePath(name)), Q(AccessPointPath(name))});
}

}  // namespace kstbell::test
