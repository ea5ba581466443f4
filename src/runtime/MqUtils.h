#pragma once
// Value types the threaded-action runtime rests on: typed argument lists that can
// travel between threads, a key/value map of objects and a high-resolution timer.
#include <QString>
#include <QVariant>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>
#include <variant>
#include <vector>

#include "MqExceptions.h"

class QObject;

MQ_DECLARE_EXCEPTION(EParamExceedsBounds, EMqException);
MQ_DECLARE_EXCEPTION(EParamTypeMismatch, EMqException);
MQ_DECLARE_EXCEPTION(EQueue, EMqException);
MQ_DECLARE_EXCEPTION(EQueueBadDataSize, EQueue);
MQ_DECLARE_EXCEPTION(EQueueEmpty, EQueue);

// Root of every reference-counted interface the runtime hands around.
class IMqInterface {
public:
    virtual ~IMqInterface() = default;
};
using IMqInterfacePtr = std::shared_ptr<IMqInterface>;

// Argument kinds of a typed argument list; lists keep the same numbering.
enum TVarKind : uint8_t {
    vtInteger = 0,
    vtBoolean = 1,
    vtChar = 2,
    vtExtended = 3,
    vtString = 4,
    vtPointer = 5,
    vtPChar = 6,
    vtObject = 7,
    vtClass = 8,
    vtWideChar = 9,
    vtPWideChar = 10,
    vtAnsiString = 11,
    vtCurrency = 12,
    vtVariant = 13,
    vtInterface = 14,
    vtWideString = 15,
    vtInt64 = 16,
};

// One argument of a typed argument list. The implicit conversions always copy the
// text they are given; the kinds that only point at text (vtPChar, vtPWideChar) and
// the rarer kinds are made through the named factories.
class TVarRec {
public:
    TVarRec(int32_t v) : m_kind(vtInteger), m_value(std::in_place_type<int32_t>, v) {}
    TVarRec(bool v) : m_kind(vtBoolean), m_value(std::in_place_type<bool>, v) {}
    TVarRec(char v) : m_kind(vtChar), m_value(std::in_place_type<char>, v) {}
    TVarRec(double v) : m_kind(vtExtended), m_value(std::in_place_type<long double>, v) {}
    TVarRec(long double v) : m_kind(vtExtended), m_value(std::in_place_type<long double>, v) {}
    TVarRec(const QString& v) : m_kind(vtAnsiString), m_value(std::in_place_type<QString>, v) {}
    TVarRec(const char* v) : m_kind(vtAnsiString), m_value(std::in_place_type<QString>, QString::fromUtf8(v))
    {
    }
    TVarRec(char* v) : TVarRec(static_cast<const char*>(v)) {}
    TVarRec(const std::string& v)
        : m_kind(vtAnsiString), m_value(std::in_place_type<QString>, QString::fromStdString(v))
    {
    }
    TVarRec(char16_t v) : m_kind(vtWideChar), m_value(std::in_place_type<char16_t>, v) {}
    TVarRec(const std::u16string& v) : m_kind(vtWideString), m_value(std::in_place_type<std::u16string>, v) {}
    TVarRec(const char16_t* v) : m_kind(vtWideString), m_value(std::in_place_type<std::u16string>, v) {}
    TVarRec(char16_t* v) : TVarRec(static_cast<const char16_t*>(v)) {}
    TVarRec(long v) : m_kind(vtInt64), m_value(std::in_place_type<int64_t>, v) {}
    TVarRec(long long v) : m_kind(vtInt64), m_value(std::in_place_type<int64_t>, v) {}
    TVarRec(uint32_t v) : m_kind(vtInt64), m_value(std::in_place_type<int64_t>, v) {}
    TVarRec(const QVariant& v) : m_kind(vtVariant), m_value(std::in_place_type<QVariant>, v) {}
    TVarRec(std::nullptr_t) : m_kind(vtPointer), m_value(std::in_place_type<const void*>, nullptr) {}
    template <class I, class = std::enable_if_t<std::is_base_of_v<IMqInterface, I>>>
    TVarRec(const std::shared_ptr<I>& v)
        : m_kind(vtInterface), m_value(std::in_place_type<IMqInterfacePtr>, v)
    {
    }
    // Objects derived from QObject travel as objects, anything else as a plain pointer.
    template <class T>
    TVarRec(T* p) : m_kind(std::is_base_of_v<QObject, T> ? vtObject : vtPointer), m_value(FromPointer(p))
    {
    }

    static TVarRec ShortString(const QString& v) { return TVarRec(vtString, v); }
    static TVarRec PChar(const char* v) { return TVarRec(vtPChar, v); }
    static TVarRec PWideChar(const char16_t* v) { return TVarRec(vtPWideChar, v); }
    static TVarRec Object(QObject* v) { return TVarRec(vtObject, v); }
    static TVarRec Class(const std::type_info& v) { return TVarRec(vtClass, &v); }
    // Currency: a fixed-point amount in ten-thousandths.
    static TVarRec Currency(int64_t scaled) { return TVarRec(vtCurrency, scaled); }
    static TVarRec Int64(int64_t v) { return TVarRec(vtInt64, v); }

    TVarKind Kind() const { return m_kind; }

    // Readers; each raises std::bad_variant_access on another kind.
    int32_t VInteger() const { return std::get<int32_t>(m_value); }
    bool VBoolean() const { return std::get<bool>(m_value); }
    char VChar() const { return std::get<char>(m_value); }
    long double VExtended() const { return std::get<long double>(m_value); }
    const QString& VString() const { return std::get<QString>(m_value); } // vtString and vtAnsiString
    const void* VPointer() const { return std::get<const void*>(m_value); }
    const char* VPChar() const { return std::get<const char*>(m_value); }
    QObject* VObject() const { return std::get<QObject*>(m_value); }
    const std::type_info* VClass() const { return std::get<const std::type_info*>(m_value); }
    char16_t VWideChar() const { return std::get<char16_t>(m_value); }
    const char16_t* VPWideChar() const { return std::get<const char16_t*>(m_value); }
    int64_t VCurrency() const { return std::get<int64_t>(m_value); }
    const QVariant& VVariant() const { return std::get<QVariant>(m_value); }
    const IMqInterfacePtr& VInterface() const { return std::get<IMqInterfacePtr>(m_value); }
    const std::u16string& VWideString() const { return std::get<std::u16string>(m_value); }
    int64_t VInt64() const { return std::get<int64_t>(m_value); }

private:
    using TValue = std::variant<int32_t, bool, char, long double, QString, const void*, const char*, QObject*,
                                const std::type_info*, char16_t, const char16_t*, int64_t, QVariant,
                                IMqInterfacePtr, std::u16string>;
    template <class V>
    TVarRec(TVarKind kind, V v) : m_kind(kind), m_value(std::in_place_type<V>, std::move(v))
    {
    }
    template <class T> static TValue FromPointer(T* p)
    {
        if constexpr (std::is_base_of_v<QObject, T>)
            return TValue(static_cast<QObject*>(const_cast<std::remove_cv_t<T>*>(p)));
        else
            return TValue(static_cast<const void*>(p));
    }

    TVarKind m_kind;
    TValue m_value;
};
using TVarRecArray = std::vector<TVarRec>;

// One stored entry of a parameter list.
struct TMqParamRec {
    QString StringValue;            // kind 4, owned (shared) string
    IMqInterfacePtr InterfaceValue; // kind 14, reference taken
    std::u16string WideStringValue; // kind 15, owned copy
    QVariant VariantValue;          // kind 13, owned copy
    uint8_t Kind = vtInteger;
    uint8_t ByteValue = 0;      // kinds 1 and 2
    char16_t WideCharValue = 0; // kind 9
    intptr_t WordValue = 0;     // kind 0, and the pointer kinds 5, 6, 7, 8, 10 (not followed)
    // An 80-bit float (kind 3); kinds 12 and 16 use its first 8 bytes.
    std::array<uint8_t, sizeof(long double)> ExtendedValue{};
};

class TMqParams;

// The shared accessor of a list: positioned by IMqParams::Param on one entry.
class TMqParam {
public:
    int32_t AsInteger() const;
    QString AsString() const;
    TVarKind Kind() const { return static_cast<TVarKind>(m_entry->Kind); }
    int Index() const { return m_index; }

private:
    friend class TMqParams;
    explicit TMqParam(TMqParams* owner) : m_owner(owner) {}
    const TMqParamRec* m_entry = nullptr;
    int m_index = -1;
    TMqParams* m_owner;
};

class IMqParams : public virtual IMqInterface {
public:
    // Entries From .. Count-1 as a fresh argument array (empty when From >= Count).
    virtual void GetParams(int From, TVarRecArray& Values) const = 0;
    virtual void Clear() = 0;
    virtual void SetParams(const TVarRecArray& Params) = 0;
    virtual int Count() const = 0;
    // Positions the list's one accessor on entry Index and returns it.
    virtual TMqParam& Param(int Index) = 0;
};
using IMqParamsPtr = std::shared_ptr<IMqParams>;

class IMqNotifyParams : public virtual IMqParams {
public:
    virtual QString Name() const = 0;
};
using IMqNotifyParamsPtr = std::shared_ptr<IMqNotifyParams>;

// A typed argument list copied so that it can be read on another thread. Filled by
// one thread, then only read; handed between threads by shared reference only.
class TMqParams : public virtual IMqParams {
public:
    explicit TMqParams(const TVarRecArray& Params = {}, bool Trace = false);
    ~TMqParams() override;
    TMqParams(const TMqParams&) = delete;
    TMqParams& operator=(const TMqParams&) = delete;

    void GetParams(int From, TVarRecArray& Values) const override;
    void Clear() override;
    void SetParams(const TVarRecArray& Params) override;
    int Count() const override { return static_cast<int>(m_entries.size()); }
    TMqParam& Param(int Index) override;

    int32_t SerialNumber() const { return m_serial; }

protected:
    // For derived lists: the class name that a traced creation reports.
    TMqParams(const char* className, const TVarRecArray& Params, bool Trace);

private:
    std::vector<TMqParamRec> m_entries;
    std::unique_ptr<TMqParam> m_accessor;
    bool m_trace;
    int32_t m_serial;
};

class TMqNotifyParams : public TMqParams, public virtual IMqNotifyParams {
public:
    explicit TMqNotifyParams(const QString& Name, const TVarRecArray& Params = {}, bool Trace = false);
    QString Name() const override { return m_name; }

protected:
    TMqNotifyParams(const char* className, const QString& Name, const TVarRecArray& Params, bool Trace);

private:
    QString m_name;
};

// Parameter lists alive, and the last serial number handed out.
extern std::atomic<int32_t> g_ParamListCount;
int32_t MqParamSerialCounter();

// A two-column map from a key object (compared by identity) to a value object.
// It does not own its values, except through FreeAll. Not thread-safe.
template <class TKey, class TValue> class TMqIndexedObjectList {
public:
    ~TMqIndexedObjectList() = default;
    int Count() const { return static_cast<int>(m_keys.size()); }
    TValue* Find(const TKey* Key) const
    {
        const int i = IndexOf(Key);
        return i < 0 ? nullptr : m_values[static_cast<size_t>(i)];
    }
    void Put(const TKey* Key, TValue* Value)
    {
        const int i = IndexOf(Key);
        if (i >= 0) {
            m_values[static_cast<size_t>(i)] = Value;
            return;
        }
        m_keys.push_back(Key);
        m_values.push_back(Value);
    }
    TValue* Extract(const TKey* Key)
    {
        const int i = IndexOf(Key);
        return i < 0 ? nullptr : ExtractAt(i);
    }
    TValue* ExtractAt(int Index)
    {
        const auto i = static_cast<size_t>(Index);
        TValue* v = m_values.at(i);
        m_keys.erase(m_keys.begin() + Index);
        m_values.erase(m_values.begin() + Index);
        return v;
    }
    // Extracts the first pair and destroys its value until the map is empty.
    void FreeAll()
    {
        while (!m_keys.empty())
            delete ExtractAt(0);
    }
    const TKey* KeyAt(int Index) const { return m_keys.at(static_cast<size_t>(Index)); }
    TValue* ValueAt(int Index) const { return m_values.at(static_cast<size_t>(Index)); }

private:
    int IndexOf(const TKey* Key) const
    {
        for (size_t i = 0; i < m_keys.size(); ++i)
            if (m_keys[i] == Key)
                return static_cast<int>(i);
        return -1;
    }
    std::vector<const TKey*> m_keys;
    std::vector<TValue*> m_values;
};

// Timer units: 0 milliseconds, 1 microseconds, 2 and 3 hundreds of nanoseconds.
enum TMqTimerUnits : uint8_t { tuMilliseconds = 0, tuMicroseconds = 1, tu100Nanoseconds = 2, tuFileTime = 3 };

// Elapsed time on the performance counter, cross-checked against the 32-bit
// millisecond tick count so that a forward jump of the counter is not believed.
// Thread-safe: Elapsed corrects its base under a lock.
class TMqTimer {
public:
    explicit TMqTimer(int32_t Interval = 0, TMqTimerUnits Units = tuMilliseconds);
    void Start(int32_t Interval);
    // Time in the chosen units since Start plus the interval (negative until it has passed).
    int64_t Elapsed();

private:
    std::mutex m_lock;
    int64_t m_unitsPerSecond;
    int64_t m_intervalTicks = 0;
    int64_t m_base = 0;
    int64_t m_check = 0;
};

// The performance-counter frequency read when the runtime starts.
int64_t MqPerfFrequency();

// Start and stop of this unit's state (called by the runtime's start and stop).
void MqUtilsInitialize();
void MqUtilsFinalize();
