#include "ZarnFrame.h"

#include <cstring>

bool ZarnBuildFrame(TZarnFrame& frame, uint8_t msgType, const void* payload, int length)
{
    if (length < 0 || length > ZarnMaxPayload || (length > 0 && payload == nullptr))
        return false;
    frame = TZarnFrame{};
    frame.MsgType = msgType;
    frame.Length = static_cast<uint8_t>(length);
    if (length > 0)
        std::memcpy(frame.Payload, payload, static_cast<size_t>(length));
    return ZarnSealFrame(frame);
}

bool ZarnSealFrame(TZarnFrame& frame)
{
    const int n = frame.Length;
    if (n > ZarnMaxPayload)
        return false;
    frame.Start = ZarnFrameStart;
    frame.Spare = 0;
    frame.Marker = ZarnFrameMarker;
    frame.Check = 0;
    frame.End = ZarnFrameEnd;
    // Wire trailer right after the payload; for a full payload these are Check and End.
    uint8_t* bytes = frame.Bytes();
    bytes[5 + n] = 0;
    bytes[6 + n] = ZarnFrameEnd;
    return true;
}

std::span<const uint8_t> ZarnWireBytes(const TZarnFrame& frame)
{
    if (frame.Length > ZarnMaxPayload)
        return {};
    return {frame.Bytes(), static_cast<size_t>(frame.Length) + ZarnFrameOverhead};
}

TZarnRxBlock::TZarnRxBlock(const void* bytes, int32_t size)
{
    if (size > 0 && bytes != nullptr) {
        Size = size;
        Data = std::make_unique<uint8_t[]>(static_cast<size_t>(size));
        std::memcpy(Data.get(), bytes, static_cast<size_t>(size));
    }
}
