#pragma once

namespace kstbell {

// Runs pending window events; socket waits call it between their slices so that a window stays
// alive during a transaction. Programs without a window pump nothing.
class IEventPump {
  public:
    virtual ~IEventPump() = default;
    virtual void PumpEvents() = 0;
    // False for a pump that never has anything to run: a wait need not be cut into slices
    // for it, and waits in one piece (one wake-up instead of one per slice).
    virtual bool RunsEvents() const { return true; }
};

// The fixed pauses of the protocol: nothing else runs on the caller's thread meanwhile. Tests
// record them instead of waiting.
class IPause {
  public:
    virtual ~IPause() = default;
    virtual void Sleep(int ms) = 0;
};

// A pump that does nothing and a pause that really sleeps: what a program without a window
// uses.
class TQuietHost : public IEventPump, public IPause {
  public:
    void PumpEvents() override {}
    bool RunsEvents() const override { return false; }
    void Sleep(int ms) override;
};

}  // namespace kstbell
