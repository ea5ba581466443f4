#pragma once
// Receive path of the device link: blocks from the socket side are copied into a
// 4096-byte ring (fill), a byte parser cuts frames out of it (parse), and frames
// are filtered into the delivery queue the main frame dispatches from (classify).
// Everything but the block queue is touched on the user-interface thread only.
#include <cstdint>
#include <functional>

#include "ZarnFrame.h"
#include "ZarnSafeQueue.h"

class TZarnRxPath {
public:
    static constexpr int RingSize = 4096;
    static constexpr int MaxFramesPerStep = 10;

    // Bootloader state of the Program page; 2..11 puts the ring in raw mode.
    using BootStateFn = std::function<int()>;
    // Is the link connected; classify does nothing while it answers false.
    using ConnectedFn = std::function<bool()>;
    // Averaging step for status frames (type 0): answers whether to deliver.
    using AverageFn = std::function<bool(const TZarnFrame&)>;

    TZarnRxPath() = default;
    TZarnRxPath(const TZarnRxPath&) = delete;
    TZarnRxPath& operator=(const TZarnRxPath&) = delete;

    void SetBootStateFn(BootStateFn fn) { bootState_ = std::move(fn); }
    void SetConnectedFn(ConnectedFn fn) { connected_ = std::move(fn); }
    void SetAverageFn(AverageFn fn) { average_ = std::move(fn); }

    TZarnSafeQueue<TZarnRxBlock>& BlockQueue() { return blocks_; }
    TZarnSafeQueue<TZarnFrame>& ParsedQueue() { return parsed_; }
    TZarnSafeQueue<TZarnFrame>& DeliveryQueue() { return delivery_; }

    // Moves every queued block into the ring and, unless in raw mode, parses.
    // Returns whether at least one frame was parsed (the caller then posts the
    // classify message). A nested call while a fill runs returns false at once.
    bool Fill();
    // Cuts up to 10 frames out of the ring into the parsed-frame queue.
    bool Parse();
    // Moves up to 10 parsed frames to the delivery queue, filtering by type.
    // Returns the number delivered. An exception from the averaging step is
    // passed on after its frame was removed.
    int Classify();
    // Empties the ring and the block queue; the parser state is kept.
    void ResetRing();

    bool IsRawMode() const;

    // Raw-mode access for the programming code, which reads the ring itself.
    int32_t ReadIndex() const { return readIndex_; }
    int32_t WriteIndex() const { return writeIndex_; }
    const uint8_t* RxRing() const { return ring_; }
    int Unread() const { return (writeIndex_ - readIndex_ + RingSize) % RingSize; }
    bool RawAvailable() const { return readIndex_ != writeIndex_; }
    // Takes the byte at ReadIndex; false when the ring is empty.
    bool RawReadByte(uint8_t& b);

    // Bytes dropped because the ring was full (oldest unread first).
    uint64_t OverrunBytes() const { return overrunBytes_; }
    void ClearOverrunCount() { overrunBytes_ = 0; }

    // Parser state 0..7 (0 = waiting for a start byte).
    int ParserState() const { return state_; }

private:
    void PutByte(uint8_t b);

    uint8_t ring_[RingSize] = {};
    int32_t readIndex_ = 0;
    int32_t writeIndex_ = 0;
    uint64_t overrunBytes_ = 0;

    TZarnFrame assembly_;
    int state_ = 0;
    int32_t payloadCount_ = 0;
    bool filling_ = false;

    TZarnSafeQueue<TZarnRxBlock> blocks_;
    TZarnSafeQueue<TZarnFrame> parsed_;
    TZarnSafeQueue<TZarnFrame> delivery_;

    BootStateFn bootState_;
    ConnectedFn connected_;
    AverageFn average_;
};
