#pragma once

// The sd-bus functions of libsystemd that the Linux survey calls, loaded from libsystemd.so.0 the
// first time a Wi-Fi survey asks for them. Loading libsystemd (and the compression and crypto
// libraries it pulls in) costs a program's start about as much again as the C++ runtime does,
// so kstbellctl, which surveys only for its Wi-Fi check, does not link it.

#include <systemd/sd-bus.h>

namespace kstbell {

struct TSdBusLibrary {
    decltype(&sd_bus_open_system) OpenSystem = nullptr;
    decltype(&sd_bus_new) New = nullptr;
    decltype(&sd_bus_set_address) SetAddress = nullptr;
    decltype(&sd_bus_set_bus_client) SetBusClient = nullptr;
    decltype(&sd_bus_start) Start = nullptr;
    decltype(&sd_bus_close_unref) CloseUnref = nullptr;
    decltype(&sd_bus_is_open) IsOpen = nullptr;
    decltype(&sd_bus_process) Process = nullptr;
    decltype(&sd_bus_wait) Wait = nullptr;
    decltype(&sd_bus_call_async) CallAsync = nullptr;
    decltype(&sd_bus_slot_unref) SlotUnref = nullptr;
    decltype(&sd_bus_message_new_method_call) NewMethodCall = nullptr;
    decltype(&sd_bus_message_append_basic) AppendBasic = nullptr;
    decltype(&sd_bus_message_ref) MessageRef = nullptr;
    decltype(&sd_bus_message_unref) MessageUnref = nullptr;
    decltype(&sd_bus_message_is_method_error) IsMethodError = nullptr;
    decltype(&sd_bus_message_rewind) Rewind = nullptr;
    decltype(&sd_bus_message_peek_type) PeekType = nullptr;
    decltype(&sd_bus_message_enter_container) EnterContainer = nullptr;
    decltype(&sd_bus_message_exit_container) ExitContainer = nullptr;
    decltype(&sd_bus_message_read_basic) ReadBasic = nullptr;
    decltype(&sd_bus_message_skip) Skip = nullptr;
};

// The functions, loaded once per process (safe from any thread); nullptr when libsystemd.so.0
// or one of the functions is missing.
const TSdBusLibrary* SdBus();

}  // namespace kstbell
