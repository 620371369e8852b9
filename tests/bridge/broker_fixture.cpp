#include "bridge/broker_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kstbell::mqtt::test {

namespace fs = std::filesystem;

TTempDir::TTempDir() {
    std::string pattern = (fs::temp_directory_path() / "kstbell-bridge-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TTempDir::~TTempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TTempDir::Write(const std::string& name, const std::string& text) const {
    const std::string path = path_ + "/" + name;
    std::ofstream(path) << text;
    return path;
}

TChild::TChild(const std::vector<std::string>& argv, const std::string& logPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = logPath.empty() ? "/dev/null" : logPath;
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The child starts with no signal blocked, whatever this test thread blocks.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    const int rc = posix_spawn(&pid_, args[0], &actions, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
}

TChild::~TChild() {
    if (!status_) {
        kill(pid_, SIGKILL);
        int ignored = 0;
        waitpid(pid_, &ignored, 0);
    }
}

void TChild::Signal(int signal) const {
    if (!status_) kill(pid_, signal);
}

std::optional<int> TChild::Wait(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!status_) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() > end) return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
    return status_;
}

int RunToEnd(const std::vector<std::string>& argv, std::string& out) {
    TTempDir dir;
    const std::string log = dir.Path() + "/out";
    TChild child(argv, log);
    const auto status = child.Wait(60s);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    out = text.str();
    return status.value_or(-1);
}

std::uint16_t FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t length = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        close(fd);
        throw std::runtime_error("no free loopback port");
    }
    close(fd);
    return ntohs(a.sin_port);
}

bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

bool WaitListening(std::uint16_t port, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        const bool up = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (up) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

bool MakeTlsFiles(const std::string& dir, const std::string& prefix, TTlsFiles& files) {
    const std::string p = dir + "/" + prefix;
    files = {p + "-ca.pem", p + "-server.pem", p + "-server.key"};
    const std::vector<std::vector<std::string>> steps = {
        {KSTBELL_OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
         "/CN=kstbell test CA " + prefix, "-keyout", p + "-ca.key", "-out", files.CaFile},
        {KSTBELL_OPENSSL, "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
         "-keyout", files.KeyFile, "-out", p + "-server.csr"},
        {KSTBELL_OPENSSL, "x509", "-req", "-in", p + "-server.csr", "-CA", files.CaFile, "-CAkey",
         p + "-ca.key", "-CAcreateserial", "-days", "2", "-out", files.CertFile, "-extfile",
         p + "-san.cnf"},
    };
    std::ofstream(p + "-san.cnf") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    for (const auto& step : steps) {
        std::string out;
        if (RunToEnd(step, out) != 0) return false;
    }
    return true;
}

TBroker::TBroker(std::optional<TTlsFiles> tls, std::string extraConfig)
    : tls_(std::move(tls)), extraConfig_(std::move(extraConfig)), port_(FreeLoopbackPort()) {
    Start();
}

TBroker::~TBroker() {
    Stop();
}

void TBroker::Start() {
    std::ostringstream conf;
    conf << "listener " << port_ << " 127.0.0.1\n"
         << "allow_anonymous true\n"
         << "persistence false\n"
         << "log_dest file " << dir_.Path() << "/broker.log\n"
         << "log_type error\nlog_type warning\nlog_type notice\n";
    if (geteuid() == 0) conf << "user root\n";
    if (tls_) {
        conf << "cafile " << tls_->CaFile << "\ncertfile " << tls_->CertFile << "\nkeyfile "
             << tls_->KeyFile << "\n";
    }
    conf << extraConfig_;
    const std::string path = dir_.Write("broker.conf", conf.str());
    process_.emplace(std::vector<std::string>{KSTBELL_MOSQUITTO, "-c", path},
                     dir_.Path() + "/broker.out");
    if (!WaitListening(port_, 10s)) throw std::runtime_error("the broker did not start: " + Log());
}

void TBroker::Stop() {
    if (!process_) return;
    process_->Signal(SIGTERM);
    process_->Wait(5s);
    process_.reset();
}

std::string TBroker::Url() const {
    return std::string(tls_ ? "mqtts" : "mqtt") + "://127.0.0.1:" + std::to_string(port_);
}

std::string TBroker::Log() const {
    std::ifstream in(dir_.Path() + "/broker.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TTestClient::TTestClient(std::uint16_t port, const std::string& caFile) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(mosq_, &TTestClient::OnMessage);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int rc) {
        if (rc == 0) mosquitto_subscribe(m, nullptr, "#", 1);
    });
    if (!caFile.empty())
        mosquitto_tls_set(mosq_, caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_connect(mosq_, "127.0.0.1", port, 30);
    mosquitto_loop_start(mosq_);
}

TTestClient::~TTestClient() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

void TTestClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto& c = *static_cast<TTestClient*>(self);
    const std::lock_guard lock(c.m_);
    c.all_.push_back({message->topic,
                      std::string(static_cast<const char*>(message->payload),
                                  static_cast<std::size_t>(message->payloadlen)),
                      message->retain});
    ++c.counts_[message->topic];
    c.changed_.notify_all();
}

void TTestClient::Publish(const std::string& topic, const std::string& payload, bool retain) {
    mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, retain);
}

std::optional<std::string> TTestClient::Last(const std::string& topic) const {
    const std::lock_guard lock(m_);
    for (auto it = all_.rbegin(); it != all_.rend(); ++it) {
        if (it->Topic == topic) return it->Payload;
    }
    return std::nullopt;
}

std::optional<std::string> TTestClient::WaitFor(
    const std::string& topic, const std::function<bool(const std::string&)>& check,
    std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(m_);
    for (;;) {
        for (auto it = all_.rbegin(); it != all_.rend(); ++it) {
            if (it->Topic != topic) continue;
            if (check(it->Payload)) return it->Payload;
            break;
        }
        if (changed_.wait_until(lock, end) == std::cv_status::timeout) return std::nullopt;
    }
}

std::optional<std::string> TTestClient::WaitFor(const std::string& topic,
                                                std::chrono::milliseconds timeout) {
    return WaitFor(
        topic, [](const std::string&) { return true; }, timeout);
}

std::optional<std::string> TTestClient::WaitNext(const std::string& topic, std::size_t seen,
                                                 std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_);
    if (!changed_.wait_for(lock, timeout, [&] { return counts_[topic] > seen; }))
        return std::nullopt;
    std::size_t n = 0;
    for (const auto& r : all_) {
        if (r.Topic == topic && n++ == seen) return r.Payload;
    }
    return std::nullopt;
}

std::size_t TTestClient::Count(const std::string& topic) const {
    const std::lock_guard lock(m_);
    const auto it = counts_.find(topic);
    return it == counts_.end() ? 0 : it->second;
}

std::vector<TReceived> TTestClient::All() const {
    const std::lock_guard lock(m_);
    return all_;
}

}  // namespace kstbell::mqtt::test
