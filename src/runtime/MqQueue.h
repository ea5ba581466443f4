#pragma once
// A growable ring of fixed-size records, kept in place. It grows and shrinks in
// steps of at least ten records, so steady traffic allocates nothing. Not
// thread-safe: its users hold a lock around every call.
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "MqUtils.h"

// How records with owned fields are set up, torn down and moved. Without one the
// records are plain bytes.
struct TMqItemType {
    void (*Init)(void* slot);                 // construct an empty record in raw memory
    void (*Finalize)(void* slot);             // release a record, leaving raw memory
    void (*MoveOut)(void* dest, void* slot);  // dest is a live record; slot becomes raw memory
    void (*Relocate)(void* dest, void* slot); // dest is raw memory; slot becomes raw memory
};

class TMqCustomQueue {
public:
    // DataSize bytes per record (at least 1); room for max(10, Capacity) records.
    TMqCustomQueue(int DataSize, int Capacity, const TMqItemType* ItemType = nullptr);
    virtual ~TMqCustomQueue();
    TMqCustomQueue(const TMqCustomQueue&) = delete;
    TMqCustomQueue& operator=(const TMqCustomQueue&) = delete;

    // Makes room for one record at the tail and returns its slot for the caller to fill.
    void* Push();
    // Moves the head record into Item and removes it.
    void Pop(void* Item);
    // The head record, left in place.
    void* Peek() const;

    int Count() const;
    int FreeSlots() const;
    bool IsEmpty() const { return m_head == m_tail; }
    bool IsFull() const { return FreeSlots() == 0; }

    // Records the buffer holds, free and used (one slot always stays free).
    int Slots() const { return m_length / m_dataSize; }
    int Increment() const { return m_increment; }

private:
    void Resize(int targetFree);
    void Grow(int records);
    void Shrink(int records);
    std::byte* Allocate(int bytes) const;
    void Release(std::byte* buffer) const;
    // Moves whole records between (possibly overlapping) ranges in the right direction.
    void MoveRecords(std::byte* dest, std::byte* src, int bytes) const;

    std::byte* m_buffer = nullptr;
    int m_length = 0; // bytes, a whole number of records
    int m_increment;
    int m_tail = 0; // byte offset of the next record to write
    int m_head = 0; // byte offset of the oldest record
    int m_dataSize;
    const TMqItemType* m_itemType;
};

namespace detail {
template <class T> struct TMqItemTypeOf {
    static void Init(void* s) { new (s) T(); }
    static void Finalize(void* s) { static_cast<T*>(s)->~T(); }
    static void MoveOut(void* d, void* s)
    {
        *static_cast<T*>(d) = std::move(*static_cast<T*>(s));
        static_cast<T*>(s)->~T();
    }
    static void Relocate(void* d, void* s)
    {
        new (d) T(std::move(*static_cast<T*>(s)));
        static_cast<T*>(s)->~T();
    }
    static constexpr TMqItemType Type{&Init, &Finalize, &MoveOut, &Relocate};
};
} // namespace detail

// The ring for records of type T. Records with owned fields (strings, shared
// references) get an item type, so they are built, moved and released properly.
template <class T> class TMqQueue : public TMqCustomQueue {
public:
    static_assert(alignof(T) <= alignof(std::max_align_t));
    explicit TMqQueue(int Capacity = 10)
        : TMqCustomQueue(sizeof(T), Capacity,
                         std::is_trivially_copyable_v<T> ? nullptr : &detail::TMqItemTypeOf<T>::Type)
    {
    }
    // The new tail slot (an empty record) for the caller to fill.
    T& Push() { return *std::launder(static_cast<T*>(TMqCustomQueue::Push())); }
    void Push(T Item) { Push() = std::move(Item); }
    void Pop(T& Item) { TMqCustomQueue::Pop(&Item); }
    T Pop()
    {
        T item{};
        Pop(item);
        return item;
    }
    T& Peek() const { return *std::launder(static_cast<T*>(TMqCustomQueue::Peek())); }
};
