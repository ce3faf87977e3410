// BFB frames: type, payload length (1..32), type XOR length, payload. The phone answers a frame
// with a frame of the same type.
#pragma once

#include <array>
#include <cstdint>

#include "bfb/bfb_port.h"

namespace bfb {

constexpr std::uint8_t kBfbMaxPayload = 32;

// Frame types in use.
constexpr std::uint8_t kFramePing = 0x02;
constexpr std::uint8_t kFrameService = 0x0E;
constexpr std::uint8_t kFrameBlock = 0x14;

// A received frame. The payload bytes past length are zero.
struct BfbFrame {
    std::uint8_t type = 0;
    std::uint8_t length = 0;
    std::array<std::uint8_t, kBfbMaxPayload> payload{};
};

// Writes the frame in one write. Payload lengths outside 1..32 are refused.
int BfbSendFrame(BfbHandle handle, std::uint8_t type, std::uint8_t length, const std::uint8_t* payload);

// Reads one frame within the port's time-out, resynchronising on a header whose check is wrong.
// A payload that arrives short is accepted with the length of the bytes that came.
int BfbReadFrame(BfbHandle handle, BfbFrame& frame);

// Polls in 50 ms reads, for about the port's time-out, for a frame of type (0: any) whose first
// payload byte is firstByte (0: any); other frames are dropped.
int BfbReceiveAnswer(BfbHandle handle, std::uint8_t type, std::uint8_t firstByte, BfbFrame& frame);

// Up to 6 frame reads, stopping at the first frame; its payload length, or 0.
int BfbReceiveFrameRetry(BfbHandle handle, BfbFrame& frame);

}  // namespace bfb
