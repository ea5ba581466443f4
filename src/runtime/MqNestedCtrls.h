#pragma once
// Nested components: an ordered parent/children relation that is independent of
// ownership (threaded actions are the children of their action list). The parent
// owns its children's lifetime at the end: it deletes them, last first, when it
// goes, so a child that has a parent must have been created with `new`.
#include <functional>
#include <vector>

class TMqCustomParent;

class TMqCustomChild {
public:
    using TChangeEvent = std::function<void(TMqCustomChild* Sender)>;

    TMqCustomChild() = default;
    // Leaves the parent (its RemoveChild runs with this child).
    virtual ~TMqCustomChild();
    TMqCustomChild(const TMqCustomChild&) = delete;
    TMqCustomChild& operator=(const TMqCustomChild&) = delete;

    TMqCustomParent* Parent() const { return m_parent; }
    // Leaves the current parent (RemoveChild) and joins the new one (AddChild);
    // nothing happens when Parent is the current one.
    void SetParent(TMqCustomParent* Parent);
    bool HasParent() const { return m_parent != nullptr; }

    // Position among the parent's children, -1 without a parent. Setting it clamps
    // to 0 .. Count-1 and moves the child there.
    int Index() const;
    void SetIndex(int Value);

    // Calls OnChange with this child.
    virtual void Changed();

    TChangeEvent OnChange;

private:
    friend class TMqCustomParent;
    TMqCustomParent* m_parent = nullptr;
};

class TMqCustomParent {
public:
    using TChangeEvent = std::function<void(TMqCustomParent* Sender)>;

    TMqCustomParent() = default;
    // Deletes every child, last first (see DestroyChildren).
    virtual ~TMqCustomParent();
    TMqCustomParent(const TMqCustomParent&) = delete;
    TMqCustomParent& operator=(const TMqCustomParent&) = delete;

    // Appends Child and makes this its parent. A child already here stays where it
    // is; a child of another parent leaves that parent first, so that a child is
    // never listed by two parents.
    virtual void AddChild(TMqCustomChild* Child);
    // Calls OnChange, then Changed on every child in order.
    virtual void Changed();
    // Removes Child when present and clears its parent.
    virtual void RemoveChild(TMqCustomChild* Child);

    TMqCustomChild* Children(int Index) const { return m_children.at(static_cast<size_t>(Index)); }
    int ChildCount() const { return static_cast<int>(m_children.size()); }
    int IndexOfChild(const TMqCustomChild* Child) const;

    TChangeEvent OnChange;

protected:
    // Deletes the children, last first, until none is left. A derived parent whose
    // RemoveChild override needs its own state calls this first in its destructor,
    // while that state still exists; the base destructor calls it again (a no-op).
    void DestroyChildren();

private:
    friend class TMqCustomChild;
    void MoveChild(TMqCustomChild* Child, int NewIndex);

    std::vector<TMqCustomChild*> m_children;
};
