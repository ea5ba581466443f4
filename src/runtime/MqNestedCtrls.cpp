#include "MqNestedCtrls.h"

#include <algorithm>

TMqCustomChild::~TMqCustomChild()
{
    if (m_parent)
        m_parent->RemoveChild(this);
}

void TMqCustomChild::SetParent(TMqCustomParent* Parent)
{
    if (Parent == m_parent)
        return;
    if (m_parent)
        m_parent->RemoveChild(this);
    if (Parent)
        Parent->AddChild(this);
}

int TMqCustomChild::Index() const
{
    return m_parent ? m_parent->IndexOfChild(this) : -1;
}

void TMqCustomChild::SetIndex(int Value)
{
    if (!m_parent)
        return;
    m_parent->MoveChild(this, Value);
}

void TMqCustomChild::Changed()
{
    if (OnChange)
        OnChange(this);
}

TMqCustomParent::~TMqCustomParent()
{
    DestroyChildren();
}

void TMqCustomParent::DestroyChildren()
{
    while (!m_children.empty()) {
        TMqCustomChild* child = m_children.back();
        delete child; // its destructor removes it through RemoveChild
        // An override of RemoveChild that kept the entry must not make this loop spin
        // or delete the child twice.
        if (!m_children.empty() && m_children.back() == child)
            m_children.pop_back();
    }
}

void TMqCustomParent::AddChild(TMqCustomChild* Child)
{
    if (!Child || IndexOfChild(Child) >= 0)
        return;
    if (Child->m_parent && Child->m_parent != this)
        Child->m_parent->RemoveChild(Child);
    m_children.push_back(Child);
    Child->m_parent = this;
}

void TMqCustomParent::Changed()
{
    if (OnChange)
        OnChange(this);
    // By index: a change handler may add or remove children.
    for (size_t i = 0; i < m_children.size(); ++i)
        m_children[i]->Changed();
}

void TMqCustomParent::RemoveChild(TMqCustomChild* Child)
{
    auto it = std::find(m_children.begin(), m_children.end(), Child);
    if (it != m_children.end())
        m_children.erase(it);
    // Only our own child loses its parent; another parent's child keeps it.
    if (Child && Child->m_parent == this)
        Child->m_parent = nullptr;
}

int TMqCustomParent::IndexOfChild(const TMqCustomChild* Child) const
{
    auto it = std::find(m_children.begin(), m_children.end(), Child);
    return it == m_children.end() ? -1 : static_cast<int>(it - m_children.begin());
}

void TMqCustomParent::MoveChild(TMqCustomChild* Child, int NewIndex)
{
    int cur = IndexOfChild(Child);
    if (cur < 0)
        return;
    NewIndex = std::clamp(NewIndex, 0, ChildCount() - 1);
    if (NewIndex == cur)
        return;
    m_children.erase(m_children.begin() + cur);
    m_children.insert(m_children.begin() + NewIndex, Child);
}
