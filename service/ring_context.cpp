#include "service/ring_context.h"

#include <utility>

namespace kstbell::service {

namespace {

thread_local const TRingContext* gCurrent = nullptr;

}  // namespace

TRingContextScope::TRingContextScope(TRingContext context)
    : context_(std::move(context)), outer_(gCurrent) {
    gCurrent = &context_;
}

TRingContextScope::~TRingContextScope() {
    gCurrent = outer_;
}

const TRingContext* TRingContextScope::Current() {
    return gCurrent;
}

}  // namespace kstbell::service
