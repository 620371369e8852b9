#pragma once

// The fault switches a simulated horn can be given, one set per horn. All off by default.

#include <cstddef>

namespace kstbell::sim {

struct TSimFaults {
    bool NeverAnswer = false;     // read the request, never reply, hold the connection
    bool NegativeStatus = false;  // reply with a status other than 6
    bool WrongMagic = false;      // reply with a wrong frame magic
    int ReplyDelayMs = 0;         // wait this long before replying
    bool CloseOnAccept = false;   // close each connection right after accepting it
    int SplitReplyGapMs = 0;      // send each reply in two pieces this far apart (0 = whole)
    bool ResetMidReply = false;   // send half a reply, then reset the connection
    int CutReplyAfter = -1;       // send only this many bytes of a reply, then close in order
    std::size_t PadReplyTo = 0;   // lengthen each reply to this many bytes with 0xEE filler
    int TrickleGapMs = 0;         // send each reply one byte at a time, this far apart
    // Data connections: take this many bytes of a file or image, then reset the connection.
    int ResetDataAfter = -1;
    // Data connections: read nothing for this long, then reset the connection.
    int StallDataMs = 0;
    // The TCP segment size announced to new connections, e.g. 1460 as on Wi-Fi; 0 = the host's
    // default. Loopback's 64 KiB segments let a client buffer megabytes that a device never
    // reads; realistic segments keep that to well under a megabyte.
    int SegmentSize = 0;
    // Store every firmware image ("/sys/mcuimg.bin") with its middle byte raised by 1, so that
    // the sum reported for it differs from the uploader's. An empty image cannot be corrupted.
    bool CorruptStoredImage = false;
};

}  // namespace kstbell::sim
