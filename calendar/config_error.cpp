#include "calendar/config_error.h"

namespace kstbell::calendar {

std::string FormatConfigError(const TConfigError& error) {
    return error.File + ":" + std::to_string(error.Line) + ": key '" + error.Key +
           "': " + error.Reason;
}

}  // namespace kstbell::calendar
