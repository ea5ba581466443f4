#pragma once
// Thread-safe double-ended queue: append at the tail and removal at the head are
// each atomic with respect to the others; every removed element is handed to the
// disposer (if any) and then freed.
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

template <typename T> class TZarnSafeQueue {
public:
    using Disposer = std::function<void(T&)>;

    TZarnSafeQueue() = default;
    explicit TZarnSafeQueue(Disposer disposer) : disposer_(std::move(disposer)) {}
    TZarnSafeQueue(const TZarnSafeQueue&) = delete;
    TZarnSafeQueue& operator=(const TZarnSafeQueue&) = delete;
    ~TZarnSafeQueue() { Clear(); }

    // Runs for each element as it is removed, just before it is freed.
    void SetDisposer(Disposer disposer)
    {
        std::lock_guard lock(mutex_);
        disposer_ = std::move(disposer);
    }

    void Append(std::unique_ptr<T> item)
    {
        if (!item)
            return;
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
    }
    void Append(T item) { Append(std::make_unique<T>(std::move(item))); }

    // The head element, or nullptr when empty. The pointer stays valid until the
    // head is removed; only the (single) consumer removes, so it may hold it until then.
    T* Peek() const
    {
        std::lock_guard lock(mutex_);
        return items_.empty() ? nullptr : items_.front().get();
    }

    // Removes and frees the head; false when the queue was empty.
    bool RemoveHead()
    {
        std::unique_ptr<T> head;
        Disposer disposer;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty())
                return false;
            head = std::move(items_.front());
            items_.pop_front();
            disposer = disposer_;
        }
        // Disposed outside the lock so a disposer may touch the queue.
        if (disposer)
            disposer(*head);
        return true;
    }

    // Takes the head out of the queue without disposing it; nullptr when empty.
    std::unique_ptr<T> TakeHead()
    {
        std::lock_guard lock(mutex_);
        if (items_.empty())
            return nullptr;
        std::unique_ptr<T> head = std::move(items_.front());
        items_.pop_front();
        return head;
    }

    int Count() const
    {
        std::lock_guard lock(mutex_);
        return static_cast<int>(items_.size());
    }
    bool IsEmpty() const { return Count() == 0; }

    void Clear()
    {
        std::deque<std::unique_ptr<T>> items;
        Disposer disposer;
        {
            std::lock_guard lock(mutex_);
            items.swap(items_);
            disposer = disposer_;
        }
        if (disposer)
            for (auto& item : items)
                disposer(*item);
    }

private:
    mutable std::mutex mutex_;
    std::deque<std::unique_ptr<T>> items_;
    Disposer disposer_;
};
