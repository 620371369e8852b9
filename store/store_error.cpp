#include "store/store_error.h"

namespace kstbell::store {

TStoreError::TStoreError(TStoreErrorKind kind, const std::string& message)
    : std::runtime_error(message), kind_(kind) {}

void ThrowFailed(const char* what, const std::exception& cause) {
    throw TStoreError(TStoreErrorKind::Failed, std::string(what) + ": " + cause.what());
}

}  // namespace kstbell::store
