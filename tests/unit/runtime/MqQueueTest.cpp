#include <gtest/gtest.h>

#include <QString>
#include <deque>
#include <memory>
#include <random>

#include "MqQueue.h"

namespace {

// A record with owned fields: a string and a counted reference, so leaks and
// double releases show in the reference count (and under AddressSanitizer).
struct TRec {
    int Seq = 0;
    QString Text;
    std::shared_ptr<int> Ref;
};

// Pushes and pops against a model, checking order and the ring's invariants after every step.
void Drive(TMqQueue<TRec>& q, std::deque<int>& model, const std::shared_ptr<int>& ref, int pushes, int pops,
           int& next)
{
    for (int i = 0; i < pushes; ++i) {
        TRec& slot = q.Push();
        slot.Seq = next;
        slot.Text = QString("record %1").arg(next);
        slot.Ref = ref;
        model.push_back(next++);
    }
    for (int i = 0; i < pops; ++i) {
        TRec out;
        q.Pop(out);
        ASSERT_EQ(out.Seq, model.front());
        ASSERT_EQ(out.Text, QString("record %1").arg(out.Seq));
        model.pop_front();
    }
    ASSERT_EQ(q.Count(), static_cast<int>(model.size()));
    ASSERT_EQ(q.FreeSlots(), q.Slots() - q.Count() - 1);
    ASSERT_EQ(ref.use_count(), 1 + q.Count());
}

} // namespace

TEST(MqQueue, SmallCapacityHoldsTenThenGrowsByTenKeepingOrderAcrossTheWrap)
{
    auto ref = std::make_shared<int>(0);
    TMqQueue<TRec> q(3);
    EXPECT_EQ(q.Increment(), 10);
    EXPECT_EQ(q.Slots(), 11);
    std::deque<int> model;
    int next = 0;
    for (int i = 0; i < 6; ++i) // moves head and tail to the middle, so the next records wrap
        Drive(q, model, ref, 1, 1, next);
    Drive(q, model, ref, 10, 0, next);
    EXPECT_TRUE(q.IsFull());
    EXPECT_EQ(q.Slots(), 11);
    Drive(q, model, ref, 1, 0, next); // the 11th grows the ring by 10 slots
    EXPECT_EQ(q.Slots(), 21);
    EXPECT_EQ(q.FreeSlots(), 9);
    Drive(q, model, ref, 0, 11, next);
    EXPECT_TRUE(q.IsEmpty());
}

TEST(MqQueue, PoppingAGrownQueueShrinksItButKeepsAnIncrementOfFreeSlots)
{
    auto ref = std::make_shared<int>(0);
    TMqQueue<TRec> q(10);
    std::deque<int> model;
    int next = 0;
    for (int i = 0; i < 7; ++i)
        Drive(q, model, ref, 1, 1, next);
    Drive(q, model, ref, 31, 0, next); // three growths, wrapped
    EXPECT_EQ(q.Slots(), 41);
    std::vector<int> sizes{q.Slots()};
    while (!model.empty()) {
        Drive(q, model, ref, 0, 1, next);
        if (q.Slots() != sizes.back())
            sizes.push_back(q.Slots());
        ASSERT_GE(q.FreeSlots(), q.Increment());
    }
    // Shrinks at 20, 15, 12, 11 and 10 records left, and no further.
    EXPECT_EQ(sizes, (std::vector<int>{41, 31, 26, 23, 22, 21}));
}

// Random traffic against a model: order, invariants and reference counts hold through
// every growth, shrink and wrap.
TEST(MqQueue, RandomTrafficKeepsOrderAndNeitherLeaksNorDoubleReleases)
{
    auto ref = std::make_shared<int>(0);
    std::mt19937 rng(12345);
    for (int capacity : {1, 10, 25}) {
        TMqQueue<TRec> q(capacity);
        std::deque<int> model;
        int next = 0;
        for (int step = 0; step < 400; ++step) {
            const int pushes = static_cast<int>(rng() % 30);
            const int pops = static_cast<int>(rng() % (model.size() + pushes + 1));
            Drive(q, model, ref, pushes, pops, next);
            if (HasFatalFailure())
                return;
        }
    }
    EXPECT_EQ(ref.use_count(), 1);
}

TEST(MqQueue, DestroyingAQueueReleasesTheRecordsStillQueued)
{
    auto ref = std::make_shared<int>(0);
    {
        TMqQueue<TRec> q(10);
        for (int i = 0; i < 25; ++i)
            q.Push(TRec{i, QString(100, QChar('z')), ref});
        TRec out;
        for (int i = 0; i < 5; ++i)
            q.Pop(out);
        out = TRec();
        EXPECT_EQ(ref.use_count(), 21);
        EXPECT_EQ(q.Peek().Seq, 5);
    }
    EXPECT_EQ(ref.use_count(), 1);
}

TEST(MqQueue, PlainRecordsAreCopiedAsBytes)
{
    struct TPlain {
        char Bytes[3];
    };
    TMqQueue<TPlain> q(2);
    for (int i = 0; i < 30; ++i)
        q.Push(TPlain{{char(i), char(i + 1), char(i + 2)}});
    for (int i = 0; i < 30; ++i) {
        TPlain p = q.Pop();
        ASSERT_EQ(p.Bytes[0], char(i));
        ASSERT_EQ(p.Bytes[2], char(i + 2));
    }
}

TEST(MqQueue, EmptyQueueAndBadDataSizeRaise)
{
    TMqCustomQueue q(4, 10);
    char buf[4];
    for (auto op :
         {+[](TMqCustomQueue&q, char*b) { q.Pop(b); }, +[](TMqCustomQueue&q, char*) { q.Peek(); }}) {
        try {
            op(q, buf);
            ADD_FAILURE() << "no exception";
        } catch (const EQueueEmpty& e) {
            EXPECT_STREQ(e.ClassName(), "EQueueEmpty");
            EXPECT_STREQ(e.what(), "Queue is empty");
        }
    }
    try {
        TMqCustomQueue bad(0, 10);
        ADD_FAILURE() << "no exception";
    } catch (const EQueue& e) {
        EXPECT_STREQ(e.ClassName(), "EQueueBadDataSize");
        EXPECT_STREQ(e.what(), "Datasize = 0");
    }
}
