#pragma once

// D-Bus method calls through libsystemd's sd-bus: one client connection, many calls sent at once,
// and their replies read as the plain values the Linux survey needs (texts and numbers).

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sd_bus;
struct sd_bus_message;

namespace kstbell {

// One method call whose arguments are all strings.
struct TBusCall {
    std::string Path;
    std::string Interface;
    std::string Method;
    std::vector<std::string> Args;
};

// A basic value as the survey reads it: strings and object paths as Text, unsigned integers and
// booleans as Number. Other types leave both empty.
struct TBusValue {
    std::string Text;
    std::uint64_t Number = 0;
};

using TBusProperties = std::map<std::string, TBusValue, std::less<>>;

// A successful reply. Each reader starts at the first argument and returns nothing (an empty
// list, map or value) when the argument has another type.
class TBusReply {
  public:
    explicit TBusReply(sd_bus_message* message);  // takes a reference of its own

    std::vector<std::string> ObjectPaths() const;  // "ao"
    TBusProperties Properties() const;             // "a{sv}"
    TBusValue Variant() const;                     // "v", as a property Get returns it

  private:
    std::shared_ptr<sd_bus_message> message_;
};

class TBusConnection {
  public:
    // The bus at address (a D-Bus address such as "unix:path=/run/bus"), or the system bus when
    // address is empty (DBUS_SYSTEM_BUS_ADDRESS is honoured). Nothing when it cannot connect or
    // libsystemd cannot be loaded.
    static std::unique_ptr<TBusConnection> Open(const std::string& address);
    ~TBusConnection();
    TBusConnection(const TBusConnection&) = delete;
    TBusConnection& operator=(const TBusConnection&) = delete;

    // False once the connection has broken (the bus went away).
    bool IsOpen() const;

    // Sends every call to destination at once, then collects the reply of each, in order:
    // nothing for a call that failed, was refused or got no answer within timeoutMs. The round
    // trips overlap, so the whole takes about as long as the slowest call.
    std::vector<std::optional<TBusReply>> CallAll(const std::string& destination,
                                                  const std::vector<TBusCall>& calls,
                                                  int timeoutMs);

  private:
    explicit TBusConnection(sd_bus* bus) : bus_(bus) {}
    sd_bus* bus_;
};

}  // namespace kstbell
