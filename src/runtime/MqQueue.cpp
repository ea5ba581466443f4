#include "MqQueue.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::align_val_t kAlign{alignof(std::max_align_t)};
}

TMqCustomQueue::TMqCustomQueue(int DataSize, int Capacity, const TMqItemType* ItemType)
    : m_increment(std::max(10, Capacity)), m_dataSize(DataSize), m_itemType(ItemType)
{
    if (DataSize < 1)
        throw EQueueBadDataSize(QString::asprintf("Datasize = %d", DataSize));
    m_length = (m_increment + 1) * m_dataSize;
    m_buffer = Allocate(m_length);
}

TMqCustomQueue::~TMqCustomQueue()
{
    if (m_itemType) {
        for (int off = m_head; off != m_tail;) {
            m_itemType->Finalize(m_buffer + off);
            off += m_dataSize;
            if (off == m_length)
                off = 0;
        }
    }
    Release(m_buffer);
}

std::byte* TMqCustomQueue::Allocate(int bytes) const
{
    return static_cast<std::byte*>(::operator new(static_cast<size_t>(bytes), kAlign));
}

void TMqCustomQueue::Release(std::byte* buffer) const
{
    ::operator delete(buffer, kAlign);
}

int TMqCustomQueue::Count() const
{
    return ((m_tail - m_head + m_length) % m_length) / m_dataSize;
}

int TMqCustomQueue::FreeSlots() const
{
    return m_length / m_dataSize - Count() - 1;
}

void* TMqCustomQueue::Push()
{
    if (IsFull())
        Resize(m_increment);
    std::byte* slot = m_buffer + m_tail;
    if (m_itemType)
        m_itemType->Init(slot);
    m_tail += m_dataSize;
    if (m_tail == m_length)
        m_tail = 0;
    return slot;
}

void TMqCustomQueue::Pop(void* Item)
{
    if (IsEmpty())
        throw EQueueEmpty("Queue is empty");
    std::byte* slot = m_buffer + m_head;
    if (m_itemType)
        m_itemType->MoveOut(Item, slot); // ownership of the record's fields moves with it
    else
        std::memcpy(Item, slot, static_cast<size_t>(m_dataSize));
    m_head += m_dataSize;
    if (m_head == m_length)
        m_head = 0;
    const int f = FreeSlots();
    const int c = Count();
    if (f == c || (f - c == 1 && f >= m_increment))
        Resize(std::max(m_increment, f - m_increment));
}

void* TMqCustomQueue::Peek() const
{
    if (IsEmpty())
        throw EQueueEmpty("Queue is empty");
    return m_buffer + m_head;
}

void TMqCustomQueue::Resize(int targetFree)
{
    const int free = FreeSlots();
    if (free < targetFree)
        Grow(targetFree - free);
    else if (free > targetFree)
        Shrink(free - targetFree);
}

void TMqCustomQueue::MoveRecords(std::byte* dest, std::byte* src, int bytes) const
{
    if (bytes <= 0 || dest == src)
        return;
    if (!m_itemType) {
        std::memmove(dest, src, static_cast<size_t>(bytes));
        return;
    }
    if (dest < src) {
        for (int off = 0; off < bytes; off += m_dataSize)
            m_itemType->Relocate(dest + off, src + off);
    } else {
        for (int off = bytes - m_dataSize; off >= 0; off -= m_dataSize)
            m_itemType->Relocate(dest + off, src + off);
    }
}

// Extends the buffer at its end; a wrapped ring moves its upper part (head to the old
// end) up to the new end, so the order of the records is kept.
void TMqCustomQueue::Grow(int records)
{
    const int added = records * m_dataSize;
    std::byte* buffer = Allocate(m_length + added);
    if (m_tail < m_head) {
        MoveRecords(buffer, m_buffer, m_tail);
        MoveRecords(buffer + m_head + added, m_buffer + m_head, m_length - m_head);
        m_head += added;
    } else {
        MoveRecords(buffer + m_head, m_buffer + m_head, m_tail - m_head);
    }
    Release(m_buffer);
    m_buffer = buffer;
    m_length += added;
}

// Moves the live records down by up to the removed length and cuts the buffer at its end.
void TMqCustomQueue::Shrink(int records)
{
    const int removed = records * m_dataSize;
    const int by = std::min(removed, m_head);
    if (m_tail < m_head) {
        MoveRecords(m_buffer + m_head - by, m_buffer + m_head, m_length - m_head);
        m_head -= by;
    } else {
        MoveRecords(m_buffer + m_head - by, m_buffer + m_head, m_tail - m_head);
        m_head -= by;
        m_tail -= by;
    }
    const int length = m_length - removed;
    std::byte* buffer = Allocate(length);
    if (m_tail < m_head) {
        MoveRecords(buffer, m_buffer, m_tail);
        MoveRecords(buffer + m_head, m_buffer + m_head, length - m_head);
    } else {
        MoveRecords(buffer + m_head, m_buffer + m_head, m_tail - m_head);
    }
    Release(m_buffer);
    m_buffer = buffer;
    m_length = length;
}
