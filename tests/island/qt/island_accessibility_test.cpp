#include <gtest/gtest.h>

#include <QAccessible>

#include "island/qt/island_view.h"
#include "island_fixture.h"

namespace brimwick {
namespace {

QStringList spokenNames(QAccessibleInterface* island) {
    QStringList names;
    for (int i = 0; i < island->childCount(); ++i) {
        names << island->child(i)->text(QAccessible::Name);
    }
    return names;
}

TEST(IslandAccessibility, ScreenReadersHearWhatTheIslandShows) {
    testing::IslandFixture island;
    IslandLayout layout(IslandGeometry::measure(
        {ScreenMeasurements{{0, 0, 1440, 900}, {0, 0, 1440, 900}, 0, std::nullopt, std::nullopt}}));
    IslandView view(*island.store, *island.usage, layout, island.queue, false);
    view.resize(600, 40);
    QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(&view);
    ASSERT_TRUE(spoken);
    EXPECT_EQ(spoken->text(QAccessible::Name), "Brimwick island");
    EXPECT_EQ(spoken->childCount(), 0);

    island.add("a", BotState::thinking, "weather");
    island.add("b", BotState::idle, "docs");
    island.publish(testing::IslandFixture::figures(0.42, 0.57));
    island.queue.advance(3);
    view.refresh();
    const QStringList names = spokenNames(spoken);
    EXPECT_EQ(names,
              (QStringList{"2 sessions", "weather: Thinking", "Session 58% left, week 43% left"}));
    QAccessibleInterface* first = spoken->child(0);
    EXPECT_EQ(first->parent(), spoken);
    EXPECT_EQ(spoken->indexOfChild(first), 0);
    EXPECT_FALSE(first->rect().isEmpty());
    EXPECT_EQ(spoken->childAt(first->rect().center().x(), first->rect().center().y()), first);

    // A child a reader still holds becomes invalid when the island shows less, without crashing.
    QAccessibleInterface* usage = spoken->child(2);
    island.publish(std::nullopt);
    island.store->remove("b");
    island.queue.advance(3);
    view.refresh();
    EXPECT_LT(spoken->childCount(), 3);
    EXPECT_FALSE(usage->isValid());
    EXPECT_TRUE(usage->text(QAccessible::Name).isEmpty());
}

}  // namespace
}  // namespace brimwick
