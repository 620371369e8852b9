#pragma once

// The service's HTTP front, made when the site file has an [http] table (or in --simulate): the
// web layer's server over TWebPort, behind the service's front interface.

#include <memory>

#include "service/log_sink.h"

namespace kstbell::service {

class TService;
class IWebFront;

// Serves the page's files from the service's PageDir option, or from the installed folder when
// that is empty.
std::unique_ptr<IWebFront> MakeWebFront(TService& service, TLog log);

}  // namespace kstbell::service
