#include "platform/private_bus_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <systemd/sd-bus.h>

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

constexpr const char* kNmName = "org.freedesktop.NetworkManager";
constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";
constexpr const char* kMockMain = "/org/freedesktop";
constexpr auto kStartTimeout = 10s;
constexpr std::uint64_t kMockCallTimeoutUsec = 5'000'000;

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
    ::kill(pid, SIGCONT);  // a frozen process handles the SIGTERM once it runs again
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
    int r = sd_bus_new(&control_);
    if (r >= 0) r = sd_bus_set_address(control_, address_.c_str());
    if (r >= 0) r = sd_bus_set_bus_client(control_, 1);
    if (r >= 0) r = sd_bus_set_method_call_timeout(control_, kMockCallTimeoutUsec);
    if (r >= 0) r = sd_bus_start(control_);
    if (r < 0) {
        Stop();
        throw std::runtime_error("cannot connect to the private bus at " + address_ + ": " +
                                 std::strerror(-r));
    }
}

void TPrivateBusLinux::StartNetworkManager() {
    const int logFd =
        ::open((dir_ + "/log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (logFd < 0) throw std::runtime_error("cannot open the mock log");
    mockPid_ = Spawn({Python(), "-m", "dbusmock", "--template", "networkmanager"},
                     EnvironmentWith(address_), logFd, -1);
    ::close(logFd);

    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        sd_bus_message* reply = nullptr;
        int owned = 0;
        if (sd_bus_call_method(control_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s",
                               kNmName) >= 0)
            sd_bus_message_read(reply, "b", &owned);
        sd_bus_message_unref(reply);
        if (owned) return;
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

void TPrivateBusLinux::FreezeNetworkManager() {
    if (mockPid_ > 0) ::kill(mockPid_, SIGSTOP);
}

void TPrivateBusLinux::ThawNetworkManager() {
    if (mockPid_ > 0) ::kill(mockPid_, SIGCONT);
}

void TPrivateBusLinux::Stop() {
    Kill(mockPid_);
    Kill(busPid_);
    control_ = sd_bus_close_unref(control_);
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

// Calls a method of the mock and returns the object path it answers with.
template <typename... TArgs>
std::string MockCall(sd_bus* bus, const std::string& path, const char* method, const char* types,
                     TArgs... args) {
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C compound literal
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call_method(bus, kNmName, path.c_str(), kMockInterface, method, &error,
                                     &reply, types, args...);
    if (r < 0) {
        const std::string why = error.message != nullptr ? error.message : std::strerror(-r);
        sd_bus_error_free(&error);
        throw std::runtime_error(std::string("mock ") + method + ": " + why);
    }
    const char* text = nullptr;
    std::string result;
    if (sd_bus_message_peek_type(reply, nullptr, nullptr) > 0 &&
        sd_bus_message_read_basic(reply, 's', &text) > 0)
        result = text;
    sd_bus_message_unref(reply);
    return result;
}

}  // namespace

std::string TPrivateBusLinux::AddWifiDevice(const std::string& name, const std::string& interface,
                                            std::uint32_t state) {
    return MockCall(control_, kMockMain, "AddWiFiDevice", "ssi", name.c_str(), interface.c_str(),
                    static_cast<std::int32_t>(state));
}

std::string TPrivateBusLinux::AddEthernetDevice(const std::string& name,
                                                const std::string& interface, std::uint32_t state) {
    return MockCall(control_, kMockMain, "AddEthernetDevice", "ssi", name.c_str(),
                    interface.c_str(), static_cast<std::int32_t>(state));
}

std::string TPrivateBusLinux::AddConnectedWifi(const std::string& name,
                                               const std::string& interface,
                                               const std::string& ssid, const std::string& bssid) {
    const std::string device = AddWifiDevice(name, interface, kNmStateDisconnected);
    const std::string ap = MockCall(control_, kMockMain, "AddAccessPoint", "ssssuuuyu",
                                    device.c_str(), name.c_str(), ssid.c_str(), bssid.c_str(),
                                    2u /* infrastructure */, 2437u, 54000u, 80, 0u /* open */);
    const std::string connection = MockCall(control_, kMockMain, "AddWiFiConnection", "ssss",
                                            device.c_str(), name.c_str(), ssid.c_str(), "");
    // Activating sets the device's state to activated and its ActiveConnection.
    MockCall(control_, kMockMain, "AddActiveConnection", "assssu", 1u, device.c_str(),
             connection.c_str(), ap.c_str(), name.c_str(), 2u /* activated */);
    // The template leaves out the device's current access point; NetworkManager has it.
    MockCall(control_, device, "AddProperty", "ssv",
             "org.freedesktop.NetworkManager.Device.Wireless", "ActiveAccessPoint", "o",
             ap.c_str());
    return device;
}

void TPrivateBusLinux::RemoveAccessPoint(const std::string& name) {
    MockCall(control_, kMockMain, "RemoveAccessPoint", "ss", DevicePath(name).c_str(),
             AccessPointPath(name).c_str());
}

}  // namespace kstbell::test
