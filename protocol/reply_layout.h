#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/commands.h"
#include "protocol/frame.h"

namespace kstbell {

// How many bytes a whole accepted reply to a command holds: its last field's offset plus one.
inline std::size_t ReplyLayoutLength(std::uint8_t code) {
    switch (code) {
        case CMD_GET_DEVICE_INFO:
            return 199;  // through the armed state at 198
        case CMD_GET_STATUS:
            return 13;  // through the armed state at 12
        case CMD_GET_IMAGE_CHECKSUM:
            return 10;  // the sum at 6 to 9
        case CMD_SET_DO:
            return 8;  // output and input at 6 and 7
        default:
            return 6;  // the status byte
    }
}

// True when the first count bytes are a whole reply to a request with the code sentCode: a
// frame with another magic, code or status than an accepted answer is whole at its status byte
// (a wrong magic already at four bytes); an accepted answer when its layout is complete.
inline bool ReplyComplete(const TReplyFrame& reply, std::size_t count, std::uint8_t sentCode) {
    if (count >= FrameMagic.size() && !reply.HasMagic()) return true;
    if (count < 6) return false;
    if (reply[4] != sentCode || reply[5] != STATUS_ACK) return true;
    return count >= ReplyLayoutLength(sentCode);
}

}  // namespace kstbell
