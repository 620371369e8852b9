#pragma once

// A TCP server that stands in for the horn: one request per connection, the device's replies,
// its flash files, relay, input, firmware store and restart. Runs on a thread of its own so
// that tests and the desktop program can start it in-process.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kstbell::sim {

// Fault switches for tests. All off by default.
struct TSimFaults {
    bool NeverAnswer = false;     // read the request, never reply, hold the connection
    bool NegativeStatus = false;  // reply with a status other than 6
    bool WrongMagic = false;      // reply with a wrong frame magic
    int ReplyDelayMs = 0;         // wait this long before replying
    bool CloseOnAccept = false;   // close each connection right after accepting it
    int SplitReplyGapMs = 0;      // send each reply in two pieces this far apart (0 = whole)
    bool ResetMidReply = false;   // send half a reply, then reset the connection
    int CutReplyAfter = -1;       // send only this many bytes of a reply, then close in order
    std::size_t PadReplyTo = 0;   // lengthen each reply to this many bytes with 0xEE filler
    int TrickleGapMs = 0;         // send each reply one byte at a time, this far apart
    // Data connections: take this many bytes of a file or image, then reset the connection.
    int ResetDataAfter = -1;
    // Data connections: read nothing for this long, then reset the connection.
    int StallDataMs = 0;
    // The TCP segment size announced to new connections, e.g. 1460 as on Wi-Fi; 0 = the host's
    // default. Loopback's 64 KiB segments let a client buffer megabytes that a device never
    // reads; realistic segments keep that to well under a megabyte.
    int SegmentSize = 0;
    // Store every firmware image ("/sys/mcuimg.bin") with its middle byte raised by 1, so that
    // the sum reported for it differs from the uploader's. An empty image cannot be corrupted.
    bool CorruptStoredImage = false;
};

struct TSimOptions {
    std::string BindAddress = "127.0.77.1";
    std::uint16_t Port = 13577;  // 0 = an ephemeral port, see TDeviceSimulator::Port()
    std::uint8_t Model = 186;
    std::string StateDir;  // flash files kept here across runs; empty = in memory
    std::optional<std::string> ReportedAddress;  // address put in the information reply;
                                                 // default: BindAddress
    TSimFaults Faults;
    bool LogToStderr = false;  // one line per request
};

// One request as the simulator received it.
struct TSimRequest {
    std::vector<std::uint8_t> Bytes;
    bool DataConnection = false;  // raw file or firmware data, not a frame
};

// The device's state as a test may inspect it.
struct TSimSnapshot {
    std::uint8_t Relay = 0;  // output state
    std::uint8_t Tone = 0;   // tone of the last set-output request
    std::uint8_t Input = 0;  // DI0
    int LocatorCount = 0;    // find-me requests served
    int RestartCount = 0;    // restarts (reset, Wi-Fi mode, factory reset)
    std::string WebLoginKey;
    std::uint8_t WifiMode = 2;  // running mode: 0 station, other access point
    std::string Location;       // running location (read from flash at the last start)
    // Running firmware version, as in the information reply: named by the image in flash at the
    // last start, or the built-in 1.0A.
    std::uint8_t FirmwareMajor = 0;
    std::uint8_t FirmwareMinor = 0;
};

class TDeviceSimulator {
  public:
    explicit TDeviceSimulator(TSimOptions options);
    ~TDeviceSimulator();  // stops the server
    TDeviceSimulator(const TDeviceSimulator&) = delete;
    TDeviceSimulator& operator=(const TDeviceSimulator&) = delete;

    // Binds, listens and starts serving on a thread. Throws std::runtime_error with the
    // reason when the address cannot be bound.
    void Start();
    // Stops serving and joins the thread; idempotent.
    void Stop();
    // The port actually bound (the ephemeral one when options asked for 0).
    std::uint16_t Port() const;

    void SetFaults(const TSimFaults& faults);
    void SetInput(std::uint8_t input);
    // Every request served so far, in order.
    std::vector<TSimRequest> Requests() const;
    void ClearRequests();
    TSimSnapshot Snapshot() const;
    // A flash file's bytes, or nothing when it does not exist.
    std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path) const;
    std::map<std::string, std::vector<std::uint8_t>> Files() const;
    // Restarts the device: files under "/local/" and the firmware image take effect.
    void Restart();

  private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

}  // namespace kstbell::sim
