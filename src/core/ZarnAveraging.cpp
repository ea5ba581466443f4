#include "ZarnAveraging.h"

#include <cmath>
#include <cstring>

#include "ZarnFrame.h"

namespace {

void Add(TZarnLevelAcc& acc, const TZarnDemodRec& d)
{
    acc.Count += 1;
    acc.SumPilot += static_cast<float>(DbToLinear(d.PilotLevel));
    acc.SumAmpNoise += static_cast<float>(DbToLinear(d.AmpNoise));
    acc.SumChanNoise += static_cast<float>(DbToLinear(d.ChanNoise));
    acc.SumPhaseNoise += d.PhaseNoise;
}

void Close(TZarnHistoryRing& ring, const TZarnLevelAcc& acc, const QByteArray& time)
{
    ring.Head = static_cast<uint16_t>((ring.Head + 1) % TZarnHistoryRing::Capacity);
    if (ring.Head == ring.Tail)
        ring.Tail = static_cast<uint16_t>((ring.Tail + 1) % TZarnHistoryRing::Capacity);
    TZarnLevelSample& s = ring.Samples[ring.Head];
    const double n = acc.Count;
    s.PilotLevelAvg = LinearToDb(acc.SumPilot / n);
    s.AmpNoiseAvg = LinearToDb(acc.SumAmpNoise / n);
    s.ChanNoiseAvg = LinearToDb(acc.SumChanNoise / n);
    s.PhaseNoiseAvg = static_cast<float>(acc.SumPhaseNoise / n);
    std::memset(s.TimeText, 0, sizeof s.TimeText);
    std::memcpy(s.TimeText, time.constData(), std::min<size_t>(time.size(), sizeof s.TimeText));
}

} // namespace

double DbToLinear(double db)
{
    return std::pow(10.0, db / 10.0);
}

float LinearToDb(double linear)
{
    if (!(linear > 0) || !std::isfinite(linear))
        return -1.0f;
    return static_cast<float>(10.0 * std::log10(linear));
}

QString TZarnLevelSample::Time() const
{
    const char* end = static_cast<const char*>(std::memchr(TimeText, 0, sizeof TimeText));
    return QString::fromLatin1(TimeText, end ? end - TimeText : qsizetype(sizeof TimeText));
}

TZarnAveraging::Result TZarnAveraging::Average(const TZarnFrame& frame, int generation)
{
    Result result;
    if (generation == 0)
        return result;
    result.Processed = true;

    bool closed = false;
    try {
        const TZarnStatusRec rec = DecodeStatus(frame, generation);
        const TZarnRecordTime time = RecordTime(rec);
        // The first frame after a reset only sets the key, so it cannot close an
        // interval by itself (also when its time shows as "No Time Sent").
        if (time.Valid && storedKey_.isEmpty())
            storedKey_ = time.IntervalKey;

        Add(acc1_, rec.Demod1);
        Add(acc2_, rec.Demod2);
        ++framesAveraged_;
        if (!((time.Valid && time.IntervalKey != storedKey_) || acc1_.Count >= 4))
            return result;

        storedKey_ = time.IntervalKey;
        closed = true;
        const QByteArray text = time.Text.toLatin1();
        Close(ring1_, acc1_, text);
        Close(ring2_, acc2_, text);
        snapshots_.Append(TZarnStatusSnapshot{rec, ring1_.Newest(), ring2_.Newest()});
        acc1_ = {};
        acc2_ = {};
        ++intervalsClosed_;
    } catch (...) {
        ++failures_;
    }
    result.Deliver = closed;
    return result;
}

void TZarnAveraging::Reset()
{
    acc1_ = {};
    acc2_ = {};
    ring1_ = {};
    ring2_ = {};
    storedKey_.clear();
}

std::optional<TZarnStatusSnapshot> TZarnAveraging::TakeNewestSnapshot()
{
    while (snapshots_.Count() > 1)
        snapshots_.RemoveHead();
    std::unique_ptr<TZarnStatusSnapshot> s = snapshots_.TakeHead();
    if (!s)
        return std::nullopt;
    return *s;
}

QString ReceivingDataText(const TZarnStatusRec& rec)
{
    return "Receiving Data - " + RecordTime(rec).Text.left(15);
}
