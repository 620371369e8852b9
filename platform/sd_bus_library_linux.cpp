#include "platform/sd_bus_library_linux.h"

#include <dlfcn.h>

#include <optional>

namespace kstbell {

namespace {

template <typename TFunction>
bool Resolve(void* library, const char* name, TFunction& function) {
    function = reinterpret_cast<TFunction>(::dlsym(library, name));
    return function != nullptr;
}

std::optional<TSdBusLibrary> Load() {
    // Never closed: the functions stay in use until the process ends.
    void* library = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return std::nullopt;
    TSdBusLibrary f;
    const bool all = Resolve(library, "sd_bus_open_system", f.OpenSystem) &&
                     Resolve(library, "sd_bus_new", f.New) &&
                     Resolve(library, "sd_bus_set_address", f.SetAddress) &&
                     Resolve(library, "sd_bus_set_bus_client", f.SetBusClient) &&
                     Resolve(library, "sd_bus_start", f.Start) &&
                     Resolve(library, "sd_bus_close_unref", f.CloseUnref) &&
                     Resolve(library, "sd_bus_is_open", f.IsOpen) &&
                     Resolve(library, "sd_bus_process", f.Process) &&
                     Resolve(library, "sd_bus_wait", f.Wait) &&
                     Resolve(library, "sd_bus_call_async", f.CallAsync) &&
                     Resolve(library, "sd_bus_slot_unref", f.SlotUnref) &&
                     Resolve(library, "sd_bus_message_new_method_call", f.NewMethodCall) &&
                     Resolve(library, "sd_bus_message_append_basic", f.AppendBasic) &&
                     Resolve(library, "sd_bus_message_ref", f.MessageRef) &&
                     Resolve(library, "sd_bus_message_unref", f.MessageUnref) &&
                     Resolve(library, "sd_bus_message_is_method_error", f.IsMethodError) &&
                     Resolve(library, "sd_bus_message_rewind", f.Rewind) &&
                     Resolve(library, "sd_bus_message_peek_type", f.PeekType) &&
                     Resolve(library, "sd_bus_message_enter_container", f.EnterContainer) &&
                     Resolve(library, "sd_bus_message_exit_container", f.ExitContainer) &&
                     Resolve(library, "sd_bus_message_read_basic", f.ReadBasic) &&
                     Resolve(library, "sd_bus_message_skip", f.Skip);
    if (!all) return std::nullopt;
    return f;
}

}  // namespace

const TSdBusLibrary* SdBus() {
    static const std::optional<TSdBusLibrary> library = Load();
    return library ? &*library : nullptr;
}

}  // namespace kstbell
