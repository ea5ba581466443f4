#pragma once
// The frame record every queue and consumer passes around, and its wire form.
// On the wire Check and End follow the payload directly; in the record they sit
// after the whole 128-byte payload area.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

constexpr uint8_t ZarnFrameStart = 0x02;
constexpr uint8_t ZarnFrameMarker = 0x0D;
constexpr uint8_t ZarnFrameEnd = 0x03;
constexpr int ZarnMaxPayload = 128;
// Start, Spare, Marker, MsgType, Length before the payload; Check, End after it.
constexpr int ZarnFrameOverhead = 7;

struct TZarnFrame {
    uint8_t Start = 0;
    uint8_t Spare = 0;
    uint8_t Marker = 0;
    uint8_t MsgType = 0;
    uint8_t Length = 0;
    uint8_t Payload[ZarnMaxPayload] = {};
    uint8_t Check = 0;
    uint8_t End = 0;

    // The record as bytes (the wire form is its first Length + 7 bytes once sealed).
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(this); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(this); }
};

static_assert(sizeof(TZarnFrame) == 135);
static_assert(offsetof(TZarnFrame, Start) == 0);
static_assert(offsetof(TZarnFrame, Spare) == 1);
static_assert(offsetof(TZarnFrame, Marker) == 2);
static_assert(offsetof(TZarnFrame, MsgType) == 3);
static_assert(offsetof(TZarnFrame, Length) == 4);
static_assert(offsetof(TZarnFrame, Payload) == 5);
static_assert(offsetof(TZarnFrame, Check) == 133);
static_assert(offsetof(TZarnFrame, End) == 134);

// Fills the record for sending: framing bytes, type, length and payload, then writes
// the wire trailer (0, 0x03) directly after the payload. Returns false and leaves
// the record alone when length is above 128 or a payload is missing for length > 0.
bool ZarnBuildFrame(TZarnFrame& frame, uint8_t msgType, const void* payload, int length);

// Seals a record whose MsgType, Length and Payload were filled by the caller: sets
// Start, Spare (0), Marker and End and writes the wire trailer after the payload.
// Returns false (record untouched) when Length is above 128.
bool ZarnSealFrame(TZarnFrame& frame);

// The bytes to send: the first Length + 7 bytes of a sealed record; empty when
// Length is above 128.
std::span<const uint8_t> ZarnWireBytes(const TZarnFrame& frame);

// One hand-over of received bytes from the link's socket side. Owns its data.
struct TZarnRxBlock {
    int32_t Size = 0;
    std::unique_ptr<uint8_t[]> Data; // absent when Size is 0

    TZarnRxBlock() = default;
    TZarnRxBlock(const void* bytes, int32_t size);
};
