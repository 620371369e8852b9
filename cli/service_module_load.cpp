// kstbellctl opens its module of the site service's verbs when one of them first runs: beside
// the program (the build tree), else where the package puts it, found from the program's own
// place, so that a program and a module always come from the same build or package.

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "cli/service_module.h"

namespace kstbell::cli {

namespace {

using TEntry = const TServiceModule* (*)(const char*);

struct TLoaded {
    const TServiceModule* Parts = nullptr;
    std::string Error;
};

// dlerror's message without the file it names first.
std::string Reason(const std::string& file) {
    const char* said = ::dlerror();
    std::string reason = said ? said : "it cannot be loaded";
    if (reason.rfind(file + ": ", 0) == 0) reason.erase(0, file.size() + 2);
    return reason;
}

TLoaded Load() {
    namespace fs = std::filesystem;
    std::error_code ec;
    // The program's file itself, links resolved.
    const fs::path folder = fs::read_symlink("/proc/self/exe", ec).parent_path();
    const fs::path installed =
        (folder / KSTBELL_SERVICE_MODULE_DIR / kServiceModuleFile).lexically_normal();
    const std::string need = std::string("the site service's verbs need ");
    if (ec) return {nullptr, need + installed.string() + ": the program's own folder is unknown"};
    // The one beside the program when it is there, else the installed one (and its reason when
    // it is not there either).
    fs::path file = folder / kServiceModuleFile;
    if (!fs::exists(file, ec)) file = installed;
    const std::string name = file.string();
    // Never closed: its parts stay in use until the process ends.
    void* module = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) return {nullptr, need + name + ": " + Reason(name)};
    const auto entry = reinterpret_cast<TEntry>(::dlsym(module, kServiceModuleEntry));
    if (!entry)
        return {nullptr, need + name + ": it has no " + kServiceModuleEntry +
                             ": it is not kstbellctl's module"};
    const TServiceModule* parts = entry(kServiceModuleBuild);
    if (!parts)
        return {nullptr, need + name + ": it belongs to another build of kstbellctl than this " +
                             "one (" + kServiceModuleBuild + "): install both from one package"};
    return {parts, {}};
}

}  // namespace

const TServiceModule* ServiceModule(std::string& error) {
    static const TLoaded loaded = Load();
    if (!loaded.Parts) error = loaded.Error;
    return loaded.Parts;
}

}  // namespace kstbell::cli
