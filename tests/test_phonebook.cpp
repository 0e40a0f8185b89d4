#include "phonebook/ManItems.h"

#include <gtest/gtest.h>

namespace {
QString names(const ManItems& items) {
    QStringList out;
    for (const auto& entry : items)
        out << entry->FullName();
    return out.join(u',');
}
} // namespace

TEST(ManItems, NewCollectionIsEmpty) {
    ManItems items;
    EXPECT_EQ(items.Count(), 0);
    EXPECT_EQ(items.begin(), items.end());
    EXPECT_EQ(items.Item(1), nullptr);
}

TEST(ManItems, AddSetsEveryFieldAndKeepsInsertionOrder) {
    ManItems items;
    auto a = items.Add(QStringLiteral("张三"), QStringLiteral("zs"), QStringLiteral("8001"),
                       QStringLiteral("13800000000"), QStringLiteral("301"));
    auto b = items.Add(QStringLiteral("张三"), QStringLiteral("zs"), QStringLiteral("8001"),
                       QStringLiteral("13800000000"), QStringLiteral("301"), QString());
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(items.Count(), 2);
    EXPECT_EQ(a->FullName(), QStringLiteral("张三"));
    EXPECT_EQ(a->ShortName(), QStringLiteral("zs"));
    EXPECT_EQ(a->ExtTelNo(), QStringLiteral("8001"));
    EXPECT_EQ(a->MobilNo(), QStringLiteral("13800000000"));
    EXPECT_EQ(a->RoomNo(), QStringLiteral("301"));
    EXPECT_EQ(items.Item(1), a);
    EXPECT_EQ(items.Item(2), b);
}

TEST(ManItems, RemoveShiftsLaterEntriesForward) {
    ManItems items;
    for (const char* n : {"a", "b", "c"})
        items.Add(QString::fromLatin1(n), {}, {}, {}, {});
    EXPECT_TRUE(items.Remove(1));
    EXPECT_EQ(items.Item(1)->FullName(), QStringLiteral("b"));
    EXPECT_EQ(names(items), QStringLiteral("b,c"));
    EXPECT_FALSE(items.Remove(0));
    EXPECT_FALSE(items.Remove(3));
    EXPECT_EQ(items.Item(3), nullptr);
    EXPECT_EQ(items.Count(), 2);
}

TEST(ManItems, KeysIgnoreLetterCaseAndRejectDuplicates) {
    ManItems items;
    items.Add(QStringLiteral("first"), {}, {}, {}, {});
    auto keyed = items.Add(QStringLiteral("Boss"), {}, {}, {}, {}, QStringLiteral("Boss"));
    ASSERT_TRUE(keyed);
    EXPECT_EQ(items.Item(QStringLiteral("BOSS")), keyed);
    EXPECT_EQ(items.Add(QStringLiteral("again"), {}, {}, {}, {}, QStringLiteral("boss")), nullptr);
    EXPECT_EQ(items.Count(), 2);
    EXPECT_EQ(items.Item(QStringLiteral("nobody")), nullptr);
    EXPECT_FALSE(items.Remove(QStringLiteral("nobody")));

    // Removing by position drops the key too, and a key survives earlier removals.
    items.Add(QStringLiteral("last"), {}, {}, {}, {}, QStringLiteral("Last"));
    EXPECT_TRUE(items.Remove(1));
    EXPECT_EQ(items.Item(QStringLiteral("last"))->FullName(), QStringLiteral("last"));
    EXPECT_TRUE(items.Remove(QStringLiteral("bOSS")));
    EXPECT_EQ(items.Item(QStringLiteral("boss")), nullptr);
    EXPECT_EQ(names(items), QStringLiteral("last"));
    EXPECT_NE(items.Add(QStringLiteral("boss again"), {}, {}, {}, {}, QStringLiteral("BOSS")), nullptr);
}

TEST(ManItems, EntriesOutliveTheCollection) {
    ManItems::Entry kept;
    {
        ManItems items;
        kept = items.Add(QStringLiteral("留下"), {}, {}, {}, {});
    }
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->FullName(), QStringLiteral("留下"));
}

TEST(ManItem, FieldsStoreExactlyWhatIsSet) {
    ManItem item;
    EXPECT_TRUE(item.FullName().isEmpty());
    item.RoomNo(QStringLiteral("  301 "));
    EXPECT_EQ(item.RoomNo(), QStringLiteral("  301 "));
    item.RoomNo(QString());
    EXPECT_TRUE(item.RoomNo().isEmpty());
}

TEST(ManItem, EntriesSharingStorageChangeIndependently) {
    ManItems items;
    auto a = items.Add(QStringLiteral("甲"), QStringLiteral("j"), QStringLiteral("1"), {}, {});
    auto b = items.Add(ManItem::Texts{u"乙", u"y", u"2", u"", u"302"});
    a->FullName(QStringLiteral("甲甲甲甲"));
    a->ShortName(a->FullName());
    EXPECT_EQ(a->FullName(), QStringLiteral("甲甲甲甲"));
    EXPECT_EQ(a->ShortName(), QStringLiteral("甲甲甲甲"));
    EXPECT_EQ(a->ExtTelNo(), QStringLiteral("1"));
    EXPECT_EQ(b->FullName(), QStringLiteral("乙"));
    EXPECT_EQ(b->RoomNo(), QStringLiteral("302"));
    EXPECT_EQ(b->fullNameView(), QStringLiteral("乙"));
}

TEST(ManItems, CopiesOutliveTheirSourceAndGrowApart) {
    ManItem copied;
    ManItems::Entry shared;
    ManItems copy;
    {
        ManItems items;
        items.expect(1 << 20, 1 << 16); // large enough for the blocks the loader asks for
        for (int i = 0; i < 3000; ++i)
            items.Add(ManItem::Texts{u"张三", u"zs", QString::number(i), u"", u"302"});
        shared = items.Item(2000);
        copied = *items.Item(1);
        copy = items;
        items.Add(QStringLiteral("only in the original"), {}, {}, {}, {});
        EXPECT_EQ(copy.Count(), 3000);
        copy.Add(QStringLiteral("only in the copy"), {}, {}, {}, {});
        EXPECT_EQ(items.Item(3001)->FullName(), QStringLiteral("only in the original"));
    }
    EXPECT_EQ(copied.ExtTelNo(), QStringLiteral("0"));
    EXPECT_EQ(copied.RoomNo(), QStringLiteral("302"));
    EXPECT_EQ(shared->ExtTelNo(), QStringLiteral("1999"));
    EXPECT_EQ(copy.Item(3001)->FullName(), QStringLiteral("only in the copy"));
    EXPECT_EQ(copy.Item(3000)->ExtTelNo(), QStringLiteral("2999"));
}
