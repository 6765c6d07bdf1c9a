#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/error_handler.h"
#include "base/growable_array.h"
#include "base/string_list.h"

namespace ozu {
namespace {

// Elements within the count survive every change of it, also when the block
// moves.
TEST(Containers, SetCountKeepsTheElementsWithinTheNewCount) {
    GrowableArray<int> a;
    for (int i = 0; i < 40; ++i) {
        a.Push(i);
    }
    a.SetCount(10);
    EXPECT_EQ(a.Size(), 10u);
    const uint32_t grown = a.Capacity() + 100; // beyond the block: it moves
    a.SetCount(grown);
    EXPECT_EQ(a.Size(), grown);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(a[static_cast<size_t>(i)], i);
    }
    a.Push(-1);
    EXPECT_EQ(a.Size(), grown + 1);
    EXPECT_EQ(a[grown], -1);
    a.Reset();
    EXPECT_TRUE(a.Empty());
    EXPECT_EQ(a.Data(), nullptr);
}

TEST(Containers, PushOfAnElementOfTheSameArraySurvivesReallocation) {
    GrowableArray<uint64_t> a;
    a.Add(1);
    a.SetCount(a.Capacity()); // full: the next Push moves the block
    const uint32_t full = a.Size();
    for (uint32_t i = 0; i < full; ++i) {
        a[i] = 1000 + i;
    }
    a.Push(a[0]);
    EXPECT_EQ(a[full], 1000u);
}

TEST(Containers, StringListHandsOutStringsInOrder) {
    StringList list;
    list.AddString(u"first");
    list.AddString(static_cast<const char16_t*>(nullptr));
    list.AddString(std::u16string_view(u"third\0hidden", 12));
    EXPECT_EQ(list.Count(), 3u);

    const char16_t* text = nullptr;
    ASSERT_TRUE(list.GetString(text));
    EXPECT_EQ(std::u16string(text), u"first");
    ASSERT_TRUE(list.GetString(text));
    EXPECT_EQ(std::u16string(text), u"");
    ASSERT_TRUE(list.GetString(text));
    EXPECT_EQ(std::u16string(text), u"third");
    EXPECT_FALSE(list.GetString(text));
    EXPECT_EQ(text, nullptr);
    EXPECT_FALSE(list.GetString(text));

    list.Rewind();
    std::u16string_view view;
    ASSERT_TRUE(list.GetString(view));
    EXPECT_EQ(view, u"first");

    list.Reset();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_FALSE(list.GetString(view));
    list.AddString(u"again");
    ASSERT_TRUE(list.GetString(view));
    EXPECT_EQ(view, u"again");
}

TEST(Containers, StringListAddsAStringItHandedOutWhileItGrows) {
    StringList list;
    list.AddString(u"a string of the list itself");
    const char16_t* text = nullptr;
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(list.GetString(text));
        list.AddString(text); // read from the storage that this call grows
    }
    list.Rewind();
    std::u16string_view view;
    while (list.GetString(view)) {
        ASSERT_EQ(view, u"a string of the list itself");
    }
    EXPECT_EQ(list.Count(), 201u);
}

TEST(Containers, StringListWithManyStrings) {
    StringList list;
    for (int i = 0; i < 5000; ++i) {
        list.AddString(std::u16string(static_cast<size_t>(i % 37), u'a' + i % 26));
    }
    std::u16string_view view;
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(list.GetString(view));
        ASSERT_EQ(view.size(), static_cast<size_t>(i % 37));
    }
    EXPECT_FALSE(list.GetString(view));
}

} // namespace
} // namespace ozu
