#pragma once

// What the bridge tests run against: Debian's mosquitto broker on a free loopback port with a
// configuration written for it, a test client on libmosquitto that keeps every message it
// sees, and child processes (the broker, the bridge program, openssl).

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace kstbell::mqtt::test {

using namespace std::chrono_literals;

// A folder under the system's temporary folder, removed with everything in it.
class TTempDir {
  public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string Write(const std::string& name, const std::string& text) const;

  private:
    std::string path_;
};

// A child process; killed (SIGKILL) and reaped when still running at destruction.
class TChild {
  public:
    // Runs argv[0] with standard output and error into logPath (or /dev/null).
    TChild(const std::vector<std::string>& argv, const std::string& logPath = {});
    ~TChild();
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;
    pid_t Pid() const { return pid_; }
    void Signal(int signal) const;
    // The exit status (or 128 + signal), or nothing when it did not end in time.
    std::optional<int> Wait(std::chrono::milliseconds timeout);

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Runs a program to its end; its exit status, output and error text in out.
int RunToEnd(const std::vector<std::string>& argv, std::string& out);

std::uint16_t FreeLoopbackPort();

// Whether done() became true within the timeout.
bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s);

// True once something accepts TCP connections on 127.0.0.1:port.
bool WaitListening(std::uint16_t port, std::chrono::milliseconds timeout);

// The TLS files of a broker: a CA made for the test and a server certificate it signed for
// 127.0.0.1 and localhost.
struct TTlsFiles {
    std::string CaFile;
    std::string CertFile;
    std::string KeyFile;
};
// Makes them with openssl in dir (prefix names the files); false when openssl fails.
bool MakeTlsFiles(const std::string& dir, const std::string& prefix, TTlsFiles& files);

class TBroker {
  public:
    // Starts the broker; with tls, the listener speaks TLS only. extraConfig is appended to
    // its configuration (an acl_file line, say).
    explicit TBroker(std::optional<TTlsFiles> tls = std::nullopt, std::string extraConfig = {});
    ~TBroker();
    void Start();  // on the same port as before
    void Stop();
    std::uint16_t Port() const { return port_; }
    std::string Url() const;
    std::string Log() const;

  private:
    TTempDir dir_;
    std::optional<TTlsFiles> tls_;
    std::string extraConfig_;
    std::uint16_t port_;
    std::optional<TChild> process_;
};

struct TReceived {
    std::string Topic;
    std::string Payload;
    bool Retained = false;
};

// A test client subscribed to everything; waits are bounded.
class TTestClient {
  public:
    explicit TTestClient(std::uint16_t port, const std::string& caFile = {});
    ~TTestClient();
    TTestClient(const TTestClient&) = delete;
    TTestClient& operator=(const TTestClient&) = delete;

    void Publish(const std::string& topic, const std::string& payload, bool retain = false);
    // The newest payload on the topic.
    std::optional<std::string> Last(const std::string& topic) const;
    // Waits until the newest payload on the topic satisfies check; returns it, or nothing.
    std::optional<std::string> WaitFor(const std::string& topic,
                                       const std::function<bool(const std::string&)>& check,
                                       std::chrono::milliseconds timeout = 10s);
    std::optional<std::string> WaitFor(const std::string& topic,
                                       std::chrono::milliseconds timeout = 10s);
    // Waits for a message on the topic that arrives after this call (or was counted past seen).
    std::optional<std::string> WaitNext(const std::string& topic, std::size_t seen,
                                        std::chrono::milliseconds timeout = 10s);
    std::size_t Count(const std::string& topic) const;
    std::vector<TReceived> All() const;

  private:
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    mosquitto* mosq_ = nullptr;
    mutable std::mutex m_;
    std::condition_variable changed_;
    std::vector<TReceived> all_;
    std::map<std::string, std::size_t> counts_;
};

}  // namespace kstbell::mqtt::test
