#pragma once

// How kstbell-sim learns that it should stop: Ctrl+C or a termination request. Call
// PrepareStopRequests before starting any thread, then WaitForStopRequest.

namespace kstbell::sim {

void PrepareStopRequests();
void WaitForStopRequest();

}  // namespace kstbell::sim
