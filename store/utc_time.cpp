#include "store/utc_time.h"

#include "text/iso_time.h"

namespace kstbell::store {

namespace chr = std::chrono;

std::int64_t ToUnixMs(TUtcTime time) {
    return time.time_since_epoch().count();
}

TUtcTime FromUnixMs(std::int64_t ms) {
    return TUtcTime(chr::milliseconds(ms));
}

std::string FormatUtc(TUtcTime time) {
    return text::FormatUtcMillis(time);
}

}  // namespace kstbell::store
