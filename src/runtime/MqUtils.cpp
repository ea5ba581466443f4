#include "MqUtils.h"

#include <cstring>

#include "Clock.h"
#include "MqDebugLog.h"

std::atomic<int32_t> g_ParamListCount{0};

namespace {
std::atomic<int32_t> g_serialCounter{0};
// Read when the runtime starts; the counter's rate never changes afterwards.
std::atomic<int64_t> g_perfFrequency{plat::Clock::PerfFrequency()};

template <class T> void StoreBytes(TMqParamRec& rec, const T& value)
{
    static_assert(sizeof(T) <= sizeof(rec.ExtendedValue));
    std::memcpy(rec.ExtendedValue.data(), &value, sizeof(T));
}

template <class T> T LoadBytes(const TMqParamRec& rec)
{
    T value;
    std::memcpy(&value, rec.ExtendedValue.data(), sizeof(T));
    return value;
}

TMqParamRec ToEntry(const TVarRec& arg)
{
    TMqParamRec rec;
    rec.Kind = arg.Kind();
    switch (arg.Kind()) {
    case vtInteger:
        rec.WordValue = arg.VInteger();
        break;
    case vtBoolean:
        rec.ByteValue = arg.VBoolean() ? 1 : 0;
        break;
    case vtChar:
        rec.ByteValue = static_cast<uint8_t>(arg.VChar());
        break;
    case vtExtended:
        StoreBytes(rec, arg.VExtended());
        break;
    case vtString:
    case vtAnsiString:
        // Both kinds of string are kept as one owned string kind.
        rec.Kind = vtString;
        rec.StringValue = arg.VString();
        break;
    case vtPointer:
        rec.WordValue = reinterpret_cast<intptr_t>(arg.VPointer());
        break;
    case vtPChar:
        rec.WordValue = reinterpret_cast<intptr_t>(arg.VPChar());
        break;
    case vtObject:
        rec.WordValue = reinterpret_cast<intptr_t>(arg.VObject());
        break;
    case vtClass:
        rec.WordValue = reinterpret_cast<intptr_t>(arg.VClass());
        break;
    case vtWideChar:
        rec.WideCharValue = arg.VWideChar();
        break;
    case vtPWideChar:
        rec.WordValue = reinterpret_cast<intptr_t>(arg.VPWideChar());
        break;
    case vtCurrency:
        StoreBytes(rec, arg.VCurrency());
        break;
    case vtVariant:
        rec.VariantValue = arg.VVariant();
        break;
    case vtInterface:
        rec.InterfaceValue = arg.VInterface();
        break;
    case vtWideString:
        rec.WideStringValue = arg.VWideString();
        break;
    case vtInt64:
        StoreBytes(rec, arg.VInt64());
        break;
    }
    return rec;
}

TVarRec FromEntry(const TMqParamRec& rec)
{
    switch (rec.Kind) {
    case vtInteger:
        return TVarRec(static_cast<int32_t>(rec.WordValue));
    case vtBoolean:
        return TVarRec(rec.ByteValue != 0);
    case vtChar:
        return TVarRec(static_cast<char>(rec.ByteValue));
    case vtExtended:
        return TVarRec(LoadBytes<long double>(rec));
    case vtString:
        return TVarRec(rec.StringValue); // handed out as a long string
    case vtPointer:
        return TVarRec(reinterpret_cast<const void*>(rec.WordValue));
    case vtPChar:
        return TVarRec::PChar(reinterpret_cast<const char*>(rec.WordValue));
    case vtObject:
        return TVarRec::Object(reinterpret_cast<QObject*>(rec.WordValue));
    case vtClass:
        return TVarRec::Class(*reinterpret_cast<const std::type_info*>(rec.WordValue));
    case vtWideChar:
        return TVarRec(rec.WideCharValue);
    case vtPWideChar:
        return TVarRec::PWideChar(reinterpret_cast<const char16_t*>(rec.WordValue));
    case vtCurrency:
        return TVarRec::Currency(LoadBytes<int64_t>(rec));
    case vtVariant:
        return TVarRec(rec.VariantValue);
    case vtInterface:
        return TVarRec(rec.InterfaceValue);
    case vtWideString:
        return TVarRec(rec.WideStringValue);
    default:
        return TVarRec::Int64(LoadBytes<int64_t>(rec));
    }
}
} // namespace

int32_t MqParamSerialCounter()
{
    return g_serialCounter.load();
}

int64_t MqPerfFrequency()
{
    return g_perfFrequency.load(std::memory_order_relaxed);
}

// --- TMqParam ---

int32_t TMqParam::AsInteger() const
{
    if (m_entry->Kind != vtInteger)
        throw EParamTypeMismatch("Type mismatch in Params");
    return static_cast<int32_t>(m_entry->WordValue);
}

QString TMqParam::AsString() const
{
    if (m_entry->Kind != vtString)
        throw EParamTypeMismatch("Type mismatch in Params");
    return m_entry->StringValue;
}

// --- TMqParams ---

TMqParams::TMqParams(const TVarRecArray& Params, bool Trace) : TMqParams("TMqParams", Params, Trace) {}

TMqParams::TMqParams(const char* className, const TVarRecArray& Params, bool Trace) : m_trace(Trace)
{
    SetParams(Params);
    g_ParamListCount.fetch_add(1);
    m_serial = g_serialCounter.fetch_add(1) + 1;
    if (m_trace)
        LogFmt("Create %s SN = %d", className, m_serial);
}

TMqParams::~TMqParams()
{
    m_accessor.reset();
    Clear();
    g_ParamListCount.fetch_sub(1);
}

void TMqParams::GetParams(int From, TVarRecArray& Values) const
{
    Values.clear();
    if (From < 0)
        From = 0;
    for (int i = From; i < Count(); ++i)
        Values.push_back(FromEntry(m_entries[static_cast<size_t>(i)]));
}

void TMqParams::Clear()
{
    m_entries.clear();
}

void TMqParams::SetParams(const TVarRecArray& Params)
{
    Clear();
    m_entries.reserve(Params.size());
    for (const TVarRec& arg : Params)
        m_entries.push_back(ToEntry(arg));
}

TMqParam& TMqParams::Param(int Index)
{
    if (Index < 0 || Index >= Count())
        throw EParamExceedsBounds("Params bounds exceeded");
    if (!m_accessor)
        m_accessor.reset(new TMqParam(this));
    m_accessor->m_entry = &m_entries[static_cast<size_t>(Index)];
    m_accessor->m_index = Index;
    return *m_accessor;
}

// --- TMqNotifyParams ---

TMqNotifyParams::TMqNotifyParams(const QString& Name, const TVarRecArray& Params, bool Trace)
    : TMqNotifyParams("TMqNotifyParams", Name, Params, Trace)
{
}

TMqNotifyParams::TMqNotifyParams(const char* className, const QString& Name, const TVarRecArray& Params,
                                 bool Trace)
    : TMqParams(className, Params, Trace), m_name(Name)
{
}

// --- TMqTimer ---

TMqTimer::TMqTimer(int32_t Interval, TMqTimerUnits Units)
{
    if (MqPerfFrequency() == 0)
        throw EMqException("No High Resolution Timer support");
    switch (Units) {
    case tuMilliseconds:
        m_unitsPerSecond = 1000;
        break;
    case tuMicroseconds:
        m_unitsPerSecond = 1000000;
        break;
    default:
        m_unitsPerSecond = 10000000;
        break;
    }
    Start(Interval);
}

namespace {
int64_t TickCountInPerfTicks(int64_t frequency)
{
    return static_cast<int64_t>(plat::Clock::TickCount()) * frequency / 1000;
}
} // namespace

void TMqTimer::Start(int32_t Interval)
{
    const int64_t frequency = MqPerfFrequency();
    std::lock_guard lock(m_lock);
    m_intervalTicks = static_cast<int64_t>(Interval) * frequency / m_unitsPerSecond;
    m_base = plat::Clock::PerfCounter() + m_intervalTicks;
    m_check = TickCountInPerfTicks(frequency) + m_intervalTicks;
}

int64_t TMqTimer::Elapsed()
{
    const int64_t frequency = MqPerfFrequency();
    std::lock_guard lock(m_lock);
    const int64_t p = plat::Clock::PerfCounter();
    const int64_t m = TickCountInPerfTicks(frequency);
    // The millisecond counter wrapped since Start: move the check value back one period.
    if (m_check - m_intervalTicks > m)
        m_check -= (int64_t{1} << 32) * frequency / 1000;
    // A forward jump of the performance counter that the millisecond counter did not see.
    const int64_t drift = (p - m_base) - (m - m_check);
    if (drift > frequency / 2)
        m_base += drift;
    return static_cast<int64_t>(static_cast<__int128>(p - m_base) * m_unitsPerSecond / frequency);
}

// --- unit start and stop ---

void MqUtilsInitialize()
{
    Log("initialization: MqUtils");
    g_perfFrequency = plat::Clock::PerfFrequency();
}

void MqUtilsFinalize()
{
    Log("finalization: MqUtils");
    LogFmt("Exiting with g_ParamListCount = %d", g_ParamListCount.load());
}
