#include "ticker/ImageFetchGate.h"

#include "FakeTime.h"

#include <QList>
#include <gtest/gtest.h>

#include <qcoro/qcorotask.h>

namespace {

QCoro::Task<void> waitForSlot(ImageFetchGate* gate, int id, QList<int>* admitted)
{
    co_await gate->acquire();
    admitted->append(id);
}

TEST(ImageFetchGateTest, AdmitsSixAtOnceThenServesWaitersFirstInFirstOut)
{
    ImageFetchGate gate;
    QList<int> admitted;
    for (int id = 1; id <= 9; ++id)
        waitForSlot(&gate, id, &admitted);
    EXPECT_EQ(admitted, (QList<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(gate.active(), 6);
    EXPECT_EQ(gate.waiting(), 3);

    gate.release();
    FakeTime::settle();
    EXPECT_EQ(admitted.size(), 7);
    EXPECT_EQ(admitted.last(), 7);
    EXPECT_EQ(gate.active(), 6) << "a handed-over slot does not change the count";

    gate.release();
    gate.release();
    FakeTime::settle();
    EXPECT_EQ(admitted, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(gate.waiting(), 0);

    for (int i = 0; i < 6; ++i)
        gate.release();
    EXPECT_EQ(gate.active(), 0);
    gate.release();
    EXPECT_EQ(gate.active(), 0) << "an unmatched release never goes below zero";
}

TEST(ImageFetchGateTest, SlotGivesItsPlaceBackOnEveryExit)
{
    ImageFetchGate gate(2);
    QList<int> admitted;
    waitForSlot(&gate, 1, &admitted);
    {
        waitForSlot(&gate, 2, &admitted);
        ImageFetchGate::Slot held(gate);
        waitForSlot(&gate, 3, &admitted);
        EXPECT_EQ(gate.waiting(), 1);
    }
    FakeTime::settle();
    EXPECT_EQ(admitted, (QList<int>{1, 2, 3}));
    EXPECT_EQ(gate.active(), 2);
}

} // namespace
