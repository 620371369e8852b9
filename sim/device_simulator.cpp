#include "sim/device_simulator.h"

#include <utility>

namespace kstbell::sim {

TDeviceSimulator::TDeviceSimulator(TSimOptions options)
    : site_(TSiteOptions{std::move(options), 1, false}) {}

}  // namespace kstbell::sim
