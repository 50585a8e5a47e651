// The tile panel: its table of 16 entries kept in slot order, the row layout by the panel's own
// width, removal that moves the later tiles down, and the seventeenth server that gets no tile.

#include "TFrameServerGraphsSmall.h"
#include "TFrameSmallGraphPanel.h"
#include "WidgetProbe.h"

#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace graphs_test;

namespace {

class TilePanel : public ::testing::Test {
protected:
    void SetUp() override {
        Panel.resize(1023, 700);
        Panel.show();
    }

    void AddServers(int count) {
        for (int i = 0; i < count; ++i) {
            TFrameServerGraphsSmall *tile = Panel.AddServer("SERVER" + std::to_string(i));
            ASSERT_NE(tile, nullptr);
            Tiles.push_back(tile);
        }
    }

    int TileCount() const {
        return static_cast<int>(
            Panel.ScrollBox1->widget()
                ->findChildren<TFrameServerGraphsSmall *>(QString(), Qt::FindDirectChildrenOnly)
                .size());
    }

    TFrameSmallGraphPanel Panel;
    std::vector<QPointer<TFrameServerGraphsSmall>> Tiles;
};

TEST_F(TilePanel, AddedTileTakesTheFirstFreeEntryAndShowsTheName) {
    AddServers(2);
    const st_FSGP_GraphedServers &entry = Panel.GraphedServers[1];
    EXPECT_TRUE(entry.InUse);
    EXPECT_EQ(entry.Graph, Tiles[1].data());
    EXPECT_EQ(entry.ServerName, "SERVER1");
    EXPECT_EQ(Tiles[1]->ServerName, "SERVER1");
    EXPECT_EQ(Tiles[1]->Slot, 1);
    EXPECT_EQ(Tiles[1]->parentWidget(), Panel.ScrollBox1->widget());
    EXPECT_TRUE(Tiles[1]->isVisible());
    EXPECT_EQ(Child<QLabel>(*Tiles[1], "LabelServerName2")->text(), QStringLiteral("  SERVER1"));
    EXPECT_FALSE(Panel.GraphedServers[2].InUse);
}

// After a tile at left x, the next stays on the row only when x + 967 <= W.
TEST_F(TilePanel, ArrangesTilesInRowsByThePanelsWidth) {
    const struct {
        int width;
        std::vector<QPoint> places;  // of tiles 0..n-1
    } cases[] = {
        {1023, {{0, 0}, {485, 0}, {0, 204}, {485, 204}}},
        {1452, {{0, 0}, {485, 0}, {970, 0}, {0, 204}}},  // the third overhangs by 3 px
        {1451, {{0, 0}, {485, 0}, {0, 204}, {485, 204}}},
        {967, {{0, 0}, {485, 0}, {0, 204}, {485, 204}}},
        {966, {{0, 0}, {0, 204}, {0, 408}, {0, 612}}},
        {300, {{0, 0}, {0, 204}, {0, 408}, {0, 612}}},  // a row's first tile even when too wide
    };
    AddServers(4);
    for (const auto &c : cases) {
        Panel.resize(c.width, 700);  // the resize arranges
        for (std::size_t i = 0; i < c.places.size(); ++i)
            EXPECT_EQ(Tiles[i]->pos(), c.places[i]) << "width " << c.width << ", tile " << i;
    }
}

TEST_F(TilePanel, ScrollsToTilesBeyondItsView) {
    AddServers(8);  // four rows of two at 1023 px
    Panel.resize(1023, 500);
    const QWidget *contents = Panel.ScrollBox1->widget();
    EXPECT_GE(contents->height(), 3 * 204 + 203);
    EXPECT_GT(Panel.ScrollBox1->verticalScrollBar()->maximum(), 0);
}

TEST_F(TilePanel, RemovingEntryOneMovesTheLaterTilesDown) {
    AddServers(4);
    Panel.RemoveServer(1);

    EXPECT_TRUE(Tiles[1].isNull());  // freed
    EXPECT_EQ(TileCount(), 3);
    const struct {
        int entry;
        int tile;  // index into Tiles; -1 for a cleared entry
        const char *name;
    } expected[] = {{0, 0, "SERVER0"}, {1, 2, "SERVER2"}, {2, 3, "SERVER3"}, {3, -1, ""}};
    for (const auto &e : expected) {
        const st_FSGP_GraphedServers &entry = Panel.GraphedServers[e.entry];
        SCOPED_TRACE("entry " + std::to_string(e.entry));
        EXPECT_EQ(entry.InUse, e.tile >= 0);
        EXPECT_EQ(entry.ServerName, e.name);
        if (e.tile < 0) {
            EXPECT_EQ(entry.Graph, nullptr);
            continue;
        }
        EXPECT_EQ(entry.Graph, Tiles[static_cast<std::size_t>(e.tile)].data());
        EXPECT_EQ(entry.Graph->Slot, e.entry);
    }
    // Rearranged: the moved tiles take the freed places.
    EXPECT_EQ(Tiles[2]->pos(), QPoint(485, 0));
    EXPECT_EQ(Tiles[3]->pos(), QPoint(0, 204));

    // The next server fills entry 3 again.
    TFrameServerGraphsSmall *again = Panel.AddServer("SERVER4");
    EXPECT_EQ(Panel.GraphedServers[3].Graph, again);
    EXPECT_EQ(again->pos(), QPoint(485, 204));
}

TEST_F(TilePanel, RemovingTheLastAndOutOfRangeEntries) {
    AddServers(2);
    Panel.RemoveServer(1);
    EXPECT_TRUE(Tiles[1].isNull());
    EXPECT_FALSE(Panel.GraphedServers[1].InUse);
    for (int index : {-1, 16, 5}) Panel.RemoveServer(index);
    EXPECT_EQ(TileCount(), 1);
    EXPECT_TRUE(Panel.GraphedServers[0].InUse);
    Panel.RemoveServer(0);
    EXPECT_EQ(TileCount(), 0);
    for (const st_FSGP_GraphedServers &entry : Panel.GraphedServers) EXPECT_FALSE(entry.InUse);
}

TEST_F(TilePanel, SeventeenthServerGetsNoTile) {
    AddServers(16);
    EXPECT_EQ(TileCount(), 16);
    EXPECT_EQ(Panel.AddServer("SERVER16"), nullptr);
    EXPECT_EQ(TileCount(), 16);
    EXPECT_EQ(Panel.GraphedServers[15].ServerName, "SERVER15");
}

}  // namespace
