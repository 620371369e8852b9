#pragma once

// The setup window's commits: each validates its entries, asks for confirmation, locates the
// device, writes or deletes configuration files or sends a command, and tells the outcome.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kstbell {

struct TContext;

void CommitApCredentials(TContext& ctx);
void CommitStationCredentials(TContext& ctx);
void CommitStaticIp(TContext& ctx);
void CommitWebKey(TContext& ctx);
void CommitLocation(TContext& ctx);
void CommitModbusSettings(TContext& ctx);

void SendWebLoginKey(TContext& ctx);
void SendModbusUpdated(TContext& ctx);

// True when the text is four decimal octets 0 to 255 separated by three dots.
bool IsDottedQuad(const std::string& text);
// The four octets of a text that IsDottedQuad accepted, read as decimal numbers.
std::array<std::uint8_t, 4> DottedQuadBytes(const std::string& text);

}  // namespace kstbell
