#pragma once
// Level averaging: every decoded status frame adds its demodulator levels to an
// accumulator; an interval closes when the time text's interval key changes or four
// frames are in. A closed interval becomes a sample in a 300-entry history ring per
// demodulator and a snapshot for the display step; only then is the frame delivered.
// Levels in dBm are averaged in linear power. User-interface thread only.
#include <QString>
#include <cstdint>
#include <optional>

#include "ZarnSafeQueue.h"
#include "ZarnStatusRec.h"

struct TZarnFrame;

// Running sums of one demodulator's readings.
struct TZarnLevelAcc {
    int32_t Count = 0;
    float SumPilot = 0;      // linear power
    float SumAmpNoise = 0;   // linear power
    float SumChanNoise = 0;  // linear power
    float SumPhaseNoise = 0; // plain sum
};

// One closed interval of one demodulator.
struct TZarnLevelSample {
    float PilotLevelAvg = 0; // dB, mean in linear power
    float AmpNoiseAvg = 0;   // dB, mean in linear power
    float ChanNoiseAvg = 0;  // dB, mean in linear power
    float PhaseNoiseAvg = 0; // arithmetic mean
    char TimeText[20] = {};  // the closing frame's time text, NUL-filled

    QString Time() const;
};

// The newest sample is at Head; the ring holds the entries after Tail up to Head.
struct TZarnHistoryRing {
    static constexpr int Capacity = 300;
    TZarnLevelSample Samples[Capacity];
    uint16_t Head = 0;
    uint16_t Tail = 0;

    const TZarnLevelSample& Newest() const { return Samples[Head]; }
    // Number of samples held (at most 299).
    int Count() const { return (Head - Tail + Capacity) % Capacity; }
};

// What the display step receives.
struct TZarnStatusSnapshot {
    TZarnStatusRec Rec;
    TZarnLevelSample Sample1;
    TZarnLevelSample Sample2;
};

// Linear power of x dB.
double DbToLinear(double db);
// Decibels of a linear value; -1 when the value is zero, negative or not finite.
float LinearToDb(double linear);

class TZarnAveraging {
public:
    struct Result {
        bool Deliver = false;   // the frame goes on to the dispatcher
        bool Processed = false; // the frame was looked at (generation not 0): the main frame
                                // then resets its data-flow counters when connected without a held message
    };

    TZarnAveraging() = default;
    TZarnAveraging(const TZarnAveraging&) = delete;
    TZarnAveraging& operator=(const TZarnAveraging&) = delete;

    // The averaging step for one status frame at the given generation.
    Result Average(const TZarnFrame& frame, int generation);
    // Clears both accumulators, both rings and the stored interval key.
    void Reset();

    // Display step's share: drops all but the newest queued snapshot and takes it.
    std::optional<TZarnStatusSnapshot> TakeNewestSnapshot();
    TZarnSafeQueue<TZarnStatusSnapshot>& Snapshots() { return snapshots_; }

    const TZarnLevelAcc& Acc(int demod) const { return demod == 2 ? acc2_ : acc1_; }
    const TZarnHistoryRing& Ring(int demod) const { return demod == 2 ? ring2_ : ring1_; }
    const QString& StoredKey() const { return storedKey_; }

    // Since construction: frames averaged, intervals closed, steps that failed.
    uint64_t FramesAveraged() const { return framesAveraged_; }
    uint64_t IntervalsClosed() const { return intervalsClosed_; }
    uint64_t Failures() const { return failures_; }

private:
    TZarnLevelAcc acc1_, acc2_;
    TZarnHistoryRing ring1_, ring2_;
    QString storedKey_;
    TZarnSafeQueue<TZarnStatusSnapshot> snapshots_;
    uint64_t framesAveraged_ = 0;
    uint64_t intervalsClosed_ = 0;
    uint64_t failures_ = 0;
};

// Status line text of the display step: "Receiving Data - " and the first 15
// characters of the record's time text.
QString ReceivingDataText(const TZarnStatusRec& rec);
