#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MqNestedCtrls.h"

namespace {

std::vector<std::string> g_log;

class NamedChild : public TMqCustomChild {
public:
    explicit NamedChild(std::string name, TMqCustomParent* parent = nullptr) : Name(std::move(name))
    {
        SetParent(parent);
    }
    ~NamedChild() override { g_log.push_back("~" + Name); }
    std::string Name;
};

std::vector<std::string> Names(const TMqCustomParent& p)
{
    std::vector<std::string> out;
    for (int i = 0; i < p.ChildCount(); ++i)
        out.push_back(static_cast<NamedChild*>(p.Children(i))->Name);
    return out;
}

using Strings = std::vector<std::string>;

class NestedCtrls : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_log.clear();
        a = new NamedChild("a", &p1);
        b = new NamedChild("b", &p1);
        c = new NamedChild("c", &p1);
    }
    TMqCustomParent p1;
    TMqCustomParent p2;
    NamedChild* a = nullptr;
    NamedChild* b = nullptr;
    NamedChild* c = nullptr;
};

TEST_F(NestedCtrls, ChildrenKeepTheirOrderAndMoveBetweenParents)
{
    EXPECT_EQ(Names(p1), (Strings{"a", "b", "c"}));
    EXPECT_EQ(b->Index(), 1);
    EXPECT_EQ(b->Parent(), &p1);

    b->SetParent(&p2);
    EXPECT_EQ(Names(p1), (Strings{"a", "c"}));
    EXPECT_EQ(Names(p2), (Strings{"b"}));
    EXPECT_EQ(b->Index(), 0);
    a->SetParent(&p2);
    EXPECT_EQ(Names(p2), (Strings{"b", "a"})); // appended

    a->SetParent(&p2); // the same parent: nothing moves
    EXPECT_EQ(Names(p2), (Strings{"b", "a"}));

    c->SetParent(nullptr);
    EXPECT_EQ(p1.ChildCount(), 0);
    EXPECT_FALSE(c->HasParent());
    EXPECT_EQ(c->Index(), -1);
    delete c; // without a parent it is ours to free
}

TEST_F(NestedCtrls, SettingIndexClampsAndMoves)
{
    a->SetIndex(10);
    EXPECT_EQ(Names(p1), (Strings{"b", "c", "a"}));
    a->SetIndex(-5);
    EXPECT_EQ(Names(p1), (Strings{"a", "b", "c"}));
    c->SetIndex(1);
    EXPECT_EQ(Names(p1), (Strings{"a", "c", "b"}));

    NamedChild loose("loose");
    loose.SetIndex(3);
    EXPECT_EQ(loose.Index(), -1);
}

TEST_F(NestedCtrls, DestroyingAChildRemovesItAndDestroyingTheParentFreesTheRestLastFirst)
{
    delete b;
    EXPECT_EQ(Names(p1), (Strings{"a", "c"}));
    auto* d = new NamedChild("d", &p1);
    d->SetIndex(0);
    g_log.clear();
    {
        TMqCustomParent p;
        for (NamedChild* child : {d, a, c})
            child->SetParent(&p);
    }
    EXPECT_EQ(g_log, (Strings{"~c", "~a", "~d"}));
}

TEST_F(NestedCtrls, ChangedRunsTheParentsEventThenEachChildInOrder)
{
    Strings seen;
    p1.OnChange = [&](TMqCustomParent* s) {
        EXPECT_EQ(s, &p1);
        seen.push_back("parent");
    };
    for (NamedChild* child : {a, b, c})
        child->OnChange = [&](TMqCustomChild* s) { seen.push_back(static_cast<NamedChild*>(s)->Name); };
    b->SetIndex(2);
    p1.Changed();
    EXPECT_EQ(seen, (Strings{"parent", "a", "c", "b"}));
}

TEST_F(NestedCtrls, AChildIsNeverListedByTwoParents)
{
    p2.AddChild(b); // taken from p1, not copied
    p2.AddChild(b);
    EXPECT_EQ(Names(p1), (Strings{"a", "c"}));
    EXPECT_EQ(Names(p2), (Strings{"b"}));
    EXPECT_EQ(b->Parent(), &p2);

    p1.RemoveChild(b); // not p1's: b stays with p2
    EXPECT_EQ(b->Parent(), &p2);
    // Both parents free their own children exactly once (the sanitizer run checks it).
}

// A parent whose RemoveChild override relies on its own state. By the time the
// override runs the child is only a TMqCustomChild, so it is known by address.
class RecordingParent : public TMqCustomParent {
public:
    explicit RecordingParent(std::vector<const void*>& removed) : m_removed(removed) {}
    ~RecordingParent() override { DestroyChildren(); }
    void RemoveChild(TMqCustomChild* Child) override
    {
        m_removed.push_back(Child);
        TMqCustomParent::RemoveChild(Child);
    }

private:
    std::vector<const void*>& m_removed;
};

TEST(NestedCtrlsDerived, DerivedParentSeesItsOwnRemoveChildWhileDestroying)
{
    g_log.clear();
    std::vector<const void*> removed;
    auto* p = new RecordingParent(removed);
    auto* x = new NamedChild("x", p);
    auto* y = new NamedChild("y", p);
    delete p;
    EXPECT_EQ(g_log, (Strings{"~y", "~x"}));
    EXPECT_EQ(removed, (std::vector<const void*>{y, x}));
}

} // namespace
