#include "ZarnRxPath.h"

namespace {

// Clears a flag on every exit, also by exception.
struct FlagGuard {
    bool& flag;
    explicit FlagGuard(bool& f) : flag(f) { flag = true; }
    ~FlagGuard() { flag = false; }
};

} // namespace

bool TZarnRxPath::IsRawMode() const
{
    if (!bootState_)
        return false;
    const int s = bootState_();
    return s >= 2 && s <= 11;
}

void TZarnRxPath::PutByte(uint8_t b)
{
    // A full ring drops its oldest unread byte instead of wrapping onto an empty
    // ring; the parser starts over at the next start byte, so no frame is ever
    // assembled across the gap.
    if (Unread() == RingSize - 1) {
        readIndex_ = (readIndex_ + 1) % RingSize;
        ++overrunBytes_;
        state_ = 0;
    }
    ring_[writeIndex_] = b;
    writeIndex_ = (writeIndex_ + 1) % RingSize;
}

bool TZarnRxPath::Fill()
{
    if (filling_)
        return false;
    FlagGuard guard(filling_);

    while (TZarnRxBlock* block = blocks_.Peek()) {
        if (block->Data)
            for (int32_t i = 0; i < block->Size; ++i)
                PutByte(block->Data[i]);
        blocks_.RemoveHead();
    }
    if (IsRawMode())
        return false;
    return Parse();
}

bool TZarnRxPath::Parse()
{
    int produced = 0;
    while (produced < MaxFramesPerStep && readIndex_ != writeIndex_) {
        const uint8_t b = ring_[readIndex_];
        readIndex_ = (readIndex_ + 1) % RingSize;

        bool complete = false;
        switch (state_) {
        case 0:
            if (b == ZarnFrameStart) {
                assembly_ = TZarnFrame{};
                assembly_.Start = b;
                state_ = 1;
            }
            break;
        case 1:
            assembly_.Spare = b;
            state_ = 2;
            break;
        case 2:
            if (b == ZarnFrameMarker) {
                assembly_.Marker = b;
                state_ = 3;
            } else {
                state_ = 0;
            }
            break;
        case 3:
            assembly_.MsgType = b;
            state_ = 4;
            break;
        case 4:
            if (b > ZarnMaxPayload) {
                state_ = 0;
            } else {
                assembly_.Length = b;
                payloadCount_ = 0;
                state_ = b > 0 ? 5 : 6;
            }
            break;
        case 5:
            assembly_.Payload[payloadCount_++] = b;
            if (payloadCount_ >= assembly_.Length)
                state_ = 6;
            break;
        case 6:
            assembly_.Check = b;
            state_ = 7;
            break;
        case 7:
            if (b == ZarnFrameEnd) {
                assembly_.End = b;
                complete = true;
            }
            state_ = 0;
            break;
        default:
            state_ = 0;
            break;
        }
        if (complete) {
            parsed_.Append(assembly_);
            ++produced;
        }
    }
    return produced > 0;
}

int TZarnRxPath::Classify()
{
    if (connected_ && !connected_())
        return 0;
    int delivered = 0;
    for (int i = 0; i < MaxFramesPerStep; ++i) {
        TZarnFrame* frame = parsed_.Peek();
        if (frame == nullptr)
            break;
        bool deliver = true;
        try {
            if (frame->MsgType == 0)
                deliver = average_ ? average_(*frame) : true;
            else if (frame->MsgType == 18)
                deliver = false;
        } catch (...) {
            parsed_.RemoveHead();
            throw;
        }
        if (deliver) {
            delivery_.Append(*frame);
            ++delivered;
        }
        parsed_.RemoveHead();
    }
    return delivered;
}

void TZarnRxPath::ResetRing()
{
    readIndex_ = 0;
    writeIndex_ = 0;
    blocks_.Clear();
}

bool TZarnRxPath::RawReadByte(uint8_t& b)
{
    if (readIndex_ == writeIndex_)
        return false;
    b = ring_[readIndex_];
    readIndex_ = (readIndex_ + 1) % RingSize;
    return true;
}
