#include <gtest/gtest.h>

#include <vector>

#include "package/PointerList.h"

namespace {
int slots[500];
}

TEST(PointerList, AddGrowsCapacityByAQuarterPlus32) {
    PointerList list;
    EXPECT_EQ(list.Get(0), nullptr);
    EXPECT_EQ(list.Count(), 0);
    std::vector<int> capacities;
    for (int i = 0; i < 480; ++i) {
        ASSERT_EQ(list.Add(&slots[i]), i);
        if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{32, 72, 122, 184, 262, 359, 480}));
    for (int i = 0; i < 480; ++i) ASSERT_EQ(list.Get(i), &slots[i]);
    EXPECT_EQ(list.Get(480), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
}

TEST(PointerList, FirstAndThirtyThirdAdd) {
    PointerList list;
    EXPECT_EQ(list.Add(&slots[0]), 0);
    EXPECT_EQ(list.Capacity(), 32);
    for (int i = 1; i < 32; ++i) list.Add(&slots[i]);
    EXPECT_EQ(list.Add(&slots[32]), 32);
    EXPECT_EQ(list.Capacity(), 72);
}

TEST(PointerList, SetBeyondCountLengthensWithNulls) {
    PointerList list;
    list.Set(&slots[7], 40);
    EXPECT_EQ(list.Capacity(), 83);
    EXPECT_EQ(list.Count(), 41);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(list.Get(i), nullptr);
    EXPECT_EQ(list.Get(40), &slots[7]);

    list.Set(&slots[1], -1);
    EXPECT_EQ(list.Count(), 41);
    EXPECT_EQ(list.Get(list.Count()), nullptr);
}

TEST(PointerList, ResizeGrowsAlreadyAtCapacityLessOne) {
    PointerList list;
    list.Add(&slots[0]);
    ASSERT_EQ(list.Capacity(), 32);
    EXPECT_TRUE(list.Resize(31));
    EXPECT_EQ(list.Capacity(), 70);
    EXPECT_EQ(list.Count(), 31);
    EXPECT_EQ(list.Get(0), &slots[0]);
    EXPECT_EQ(list.Get(30), nullptr);
    EXPECT_TRUE(list.Resize(1));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_FALSE(list.Resize(-1));
}

TEST(PointerList, PackageTableOf231EntriesTakesFiveAllocations) {
    PointerList list;
    int growths = 0;
    int last = 0;
    for (int i = 0; i < 231; ++i) {
        list.Add(&slots[i]);
        if (list.Capacity() != last) {
            ++growths;
            last = list.Capacity();
        }
    }
    EXPECT_EQ(growths, 5);
    EXPECT_EQ(list.Capacity(), 262);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
    EXPECT_EQ(list.Get(0), nullptr);
}
