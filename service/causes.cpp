#include "service/causes.h"

#include <array>
#include <utility>

namespace kstbell::service {

namespace {

constexpr std::array kPairs = {
    std::pair{site::TCause::Schedule, store::TAuditCause::Schedule},
    std::pair{site::TCause::Alarm, store::TAuditCause::Alarm},
    std::pair{site::TCause::Input, store::TAuditCause::Input},
    std::pair{site::TCause::Mqtt, store::TAuditCause::Mqtt},
    std::pair{site::TCause::Http, store::TAuditCause::Http},
    std::pair{site::TCause::CommandLine, store::TAuditCause::Cli},
    std::pair{site::TCause::Service, store::TAuditCause::Service},
};

}  // namespace

store::TAuditCause AuditCause(site::TCause cause) {
    for (const auto& [s, a] : kPairs)
        if (s == cause) return a;
    return store::TAuditCause::Service;
}

site::TCause SiteCause(store::TAuditCause cause) {
    for (const auto& [s, a] : kPairs)
        if (a == cause) return s;
    return site::TCause::Service;
}

std::string CauseWord(site::TCause cause) {
    return std::string(store::CauseName(AuditCause(cause)));
}

std::string MacText(const site::TMac& mac) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t b : mac) {
        text += kHex[b >> 4];
        text += kHex[b & 0x0F];
    }
    return text;
}

}  // namespace kstbell::service
