// The contact display without its window: the ring of edges, its rows and CSV, the
// picture's geometry and traces, the table model following the ring.
#include "app/ContactLog.h"
#include "app/ContactLogModel.h"
#include "app/ContactLogPicture.h"
#include "app/ContactLogRows.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "support/QtTestMain.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QSignalSpy>

namespace {

using app::ContactLog;
using timing::LineEdge;
using timing::Ticks;

LineEdge edge(int line, bool active, Ticks at, double uncertainty = 0, bool late = false)
{
    return {line, active, at, uncertainty, late};
}

TEST(ContactLog, KeepsTheNewestEdgesAndTheStatesBeforeThem)
{
    ContactLog log(4);
    const std::optional<bool> unknown;
    const struct
    {
        LineEdge added;
        std::size_t size;
        Ticks oldestAt;
        Ticks sincePrevious;                          // of the newest
        std::optional<bool> line1Before, line2Before; // before the oldest kept edge
    } steps[] = {
        {edge(1, true, 100), 1, 100, -1, false, unknown},
        {edge(2, true, 105), 2, 100, -1, false, false},
        {edge(1, false, 110), 3, 100, 10, false, false},
        {edge(1, true, 111), 4, 100, 1, false, false},
        // Full: the oldest goes and leaves its state behind.
        {edge(2, false, 120), 4, 105, 15, true, false},
        // No such line: not kept.
        {edge(3, true, 121), 4, 105, 15, true, false},
        {edge(1, false, 130), 4, 110, 19, true, true},
    };
    for (const auto &s : steps) {
        log.add(s.added);
        const std::string row = std::to_string(s.added.at);
        ASSERT_EQ(log.size(), s.size) << row;
        EXPECT_EQ(log.at(0).edge.at, s.oldestAt) << row;
        EXPECT_EQ(log.at(log.size() - 1).sincePrevious, s.sincePrevious) << row;
        EXPECT_EQ(log.stateBefore(1, 0), s.line1Before) << row;
        EXPECT_EQ(log.stateBefore(2, 0), s.line2Before) << row;
    }
    EXPECT_EQ(log.added(), 6u);
    EXPECT_THROW(log.at(4), std::out_of_range);

    // Kept now: 110 (1 off), 111 (1 on), 120 (2 off), 130 (1 off).
    const std::pair<Ticks, std::size_t> searches[] = {{0, 0},   {110, 0}, {111, 1},
                                                      {112, 2}, {130, 3}, {131, 4}};
    for (const auto &[ticks, index] : searches)
        EXPECT_EQ(log.firstAtOrAfter(ticks), index) << ticks;
    const struct
    {
        int line;
        std::size_t index;
        std::optional<bool> state;
    } states[] = {{1, 1, false}, {1, 2, true},   {1, 4, false},  {2, 2, true},
                  {2, 3, false}, {2, 99, false}, {3, 0, unknown}};
    for (const auto &s : states)
        EXPECT_EQ(log.stateBefore(s.line, s.index), s.state) << s.line << " " << s.index;

    const std::uint64_t generation = log.generation();
    log.clear(500);
    EXPECT_EQ(log.size(), 0u);
    EXPECT_EQ(log.added(), 0u);
    EXPECT_EQ(log.origin(), 500);
    EXPECT_EQ(log.generation(), generation + 1);
    EXPECT_EQ(log.stateBefore(1, 0), unknown);
    log.setStates(true, unknown);
    EXPECT_EQ(log.stateBefore(1, 0), true);
    EXPECT_EQ(log.stateBefore(2, 0), unknown);
    // A line's first edge after a clear has no edge before it.
    log.add(edge(1, false, 600));
    EXPECT_EQ(log.at(0).sincePrevious, -1);
}

TEST(ContactLogRows, TableAndCsvShowTheSameTextsInEitherConvention)
{
    ContactLog log(3);
    log.clear(1000);
    log.add(edge(1, true, 1000 + 12345, 0.00006));
    log.add(edge(1, false, 1000 + 12348, 0.00006));
    log.add(edge(2, true, 1000 + 20000, 0.0012, true));
    log.add(edge(2, false, 1000 + 20000 + 100'000'000, 0.0004));
    // The first edge is forgotten; numbers go on counting.
    const struct
    {
        QChar decimal;
        QStringList rows[3];
        QByteArray csv;
    } cases[] = {
        {u',',
         {{"2", "1,2348", "1", "inaktiv", "0,3", "0,060", ""},
          {"3", "2,0000", "2", "aktiv", "", "1,200", "*"},
          {"4", "10002,0000", "2", "inaktiv", "10000000,0", "0,400", ""}},
         "\xEF\xBB\xBFNr.;Zeit (s);Kontakt;Zustand;Abstand (ms);Unsicherheit (ms);"
         "Versp\xC3\xA4tet erkannt\r\n"
         "2;1,2348;1;inaktiv;0,3;0,060;\r\n"
         "3;2,0000;2;aktiv;;1,200;*\r\n"
         "4;10002,0000;2;inaktiv;10000000,0;0,400;\r\n"},
        {u'.',
         {{"2", "1.2348", "1", "inaktiv", "0.3", "0.060", ""},
          {"3", "2.0000", "2", "aktiv", "", "1.200", "*"},
          {"4", "10002.0000", "2", "inaktiv", "10000000.0", "0.400", ""}},
         "\xEF\xBB\xBFNr.,Zeit (s),Kontakt,Zustand,Abstand (ms),Unsicherheit (ms),"
         "Versp\xC3\xA4tet erkannt\r\n"
         "2,1.2348,1,inaktiv,0.3,0.060,\r\n"
         "3,2.0000,2,aktiv,,1.200,*\r\n"
         "4,10002.0000,2,inaktiv,10000000.0,0.400,\r\n"},
    };
    for (const auto &c : cases) {
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(app::contactLogFields(log, i, c.decimal), c.rows[i]) << i;
        EXPECT_EQ(app::contactLogCsv(log, protocol::CsvConvention::forDecimalSeparator(c.decimal)),
                  c.csv);
    }
    EXPECT_EQ(app::contactLogCaptions().size(), app::ContactLogColumnCount);
}

// 400 x 200 pixels of traces: lanes of 100, levels at a quarter and three quarters.
constexpr QSize PictureSize(96 + 400 + 8, 4 + 200 + 24);
constexpr int High1 = 29, Low1 = 79, High2 = 129, Low2 = 179;

TEST(ContactLogPicture, MapsTimeToColumnsAndLinesToLevels)
{
    const app::ContactLogPicture picture(PictureSize);
    EXPECT_EQ(picture.plot(), QRect(96, 4, 400, 200));
    const app::ContactLogSpan span{10'000, 10'000};
    const std::pair<Ticks, int> columns[] = {{0, 96},
                                             {25, 97},
                                             {24, 96},
                                             {5000, 296},
                                             {10'000, 496},
                                             {-25, 95},
                                             {1'000'000'000, 96 + 1'000'000}};
    for (const auto &[at, x] : columns)
        EXPECT_EQ(picture.xOf(at, span), x) << at;
    EXPECT_EQ(picture.ticksAt(296, span), 5000);
    EXPECT_EQ(picture.ticksAt(96, span), 0);
    EXPECT_EQ(picture.levelY(1, true), High1);
    EXPECT_EQ(picture.levelY(1, false), Low1);
    EXPECT_EQ(picture.levelY(2, true), High2);
    EXPECT_EQ(picture.levelY(2, false), Low2);

    const std::pair<Ticks, Ticks> steps[] = {
        {10, 1}, {16, 2}, {80, 10}, {100, 20}, {50'000, 10'000}, {1'200'000, 200'000}, {1, 1}};
    for (const auto &[length, step] : steps)
        EXPECT_EQ(app::ContactLogPicture::axisStep(length), step) << length;
    const struct
    {
        Ticks since, step;
        QChar decimal;
        const char *label;
    } labels[] = {{20'000, 10'000, u',', "2 s"}, {15'000, 5000, u',', "1,5 s"},
                  {2500, 500, u'.', "0.25 s"},   {30, 10, u',', "0,003 s"},
                  {-5, 1, u',', "-0,0005 s"},    {0, 2, u'.', "0.0000 s"}};
    for (const auto &l : labels)
        EXPECT_EQ(app::ContactLogPicture::axisLabel(l.since, l.step, l.decimal), l.label)
            << l.label;
}

TEST(ContactLogPicture, TracesFollowTheEdgesAndABurstIsOneBar)
{
    const app::ContactLogPicture picture(PictureSize);
    const app::ContactLogSpan span{10'000, 10'000};
    const std::optional<bool> unknown;
    const struct
    {
        const char *name;
        std::optional<bool> stateBefore;
        std::vector<LineEdge> edges;
        QPolygon trace; // of line 1
    } cases[] = {
        {"no edge, state unknown", unknown, {edge(2, true, 4000)}, {}},
        {"no edge, state given", true, {}, QPolygon({{96, High1}, {495, High1}})},
        {"one edge",
         unknown,
         {edge(1, true, 5000)},
         QPolygon({{96, Low1}, {296, Low1}, {296, High1}, {495, High1}})},
        {"edges before and after the span",
         unknown,
         {edge(1, true, -100), edge(1, false, 2500), edge(2, true, 2600), edge(1, true, 10'001)},
         QPolygon({{96, High1}, {196, High1}, {196, Low1}, {495, Low1}})},
        {"bounce within a pixel",
         unknown,
         {edge(1, true, 5000), edge(1, false, 5001), edge(1, true, 5002), edge(1, false, 5003),
          edge(1, true, 5010), edge(1, false, 5012)},
         QPolygon({{96, Low1}, {296, Low1}, {296, High1}, {296, Low1}, {495, Low1}})},
        {"bounce ending high",
         unknown,
         {edge(1, true, 5000), edge(1, false, 5001), edge(1, true, 5002)},
         QPolygon({{96, Low1}, {296, Low1}, {296, High1}, {296, High1}, {495, High1}})},
    };
    for (const auto &c : cases) {
        ContactLog log;
        log.setStates(c.stateBefore, unknown);
        for (const LineEdge &e : c.edges)
            log.add(e);
        EXPECT_EQ(picture.trace(log, 1, span), c.trace) << c.name;
    }
}

// The colours land where the geometry says: the trace, an uncertainty band, a late mark.
TEST(ContactLogPicture, PaintsTracesBandsAndLateMarks)
{
    const app::ContactLogPicture picture(PictureSize);
    ContactLog log;
    log.add(edge(1, true, 2500));             // column 196
    log.add(edge(2, true, 7500, 0.05, true)); // column 396, a band of 20 pixels each way
    QImage image(PictureSize, QImage::Format_RGB32);
    QPainter painter(&image);
    picture.paint(painter, log, {10'000, 10'000}, u',');
    painter.end();
    const auto greenish = [](QRgb c) { return qGreen(c) > 180 && qRed(c) < 150 && qBlue(c) < 150; };
    const auto reddish = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 120; };
    const auto bluish = [](QRgb c) { return qBlue(c) > qRed(c) + 20; };
    EXPECT_TRUE(greenish(image.pixel(150, Low1)));
    EXPECT_TRUE(greenish(image.pixel(300, High1)));
    EXPECT_TRUE(greenish(image.pixel(196, (High1 + Low1) / 2)));
    EXPECT_FALSE(greenish(image.pixel(150, High1)));
    EXPECT_TRUE(reddish(image.pixel(396, 104 + 4)));
    EXPECT_TRUE(bluish(image.pixel(410, 150)));
    EXPECT_FALSE(bluish(image.pixel(150, 150)));
}

TEST(ContactLogModel, FollowsTheRingInOneStepPerLook)
{
    ContactLog log(3);
    app::ContactLogModel model(log);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    Ticks at = 0;
    const struct
    {
        int adds;
        bool clear;
        int rows, inserted, removed, resets;
        const char *firstNumber;
    } steps[] = {
        {2, false, 2, 1, 0, 0, "1"}, {0, false, 2, 0, 0, 0, "1"},  {2, false, 3, 1, 1, 0, "2"},
        {1, false, 3, 1, 1, 0, "3"}, {7, false, 3, 0, 0, 1, "10"}, {0, true, 0, 0, 0, 1, nullptr},
        {1, false, 1, 1, 0, 0, "1"}, {2, true, 2, 0, 0, 1, "1"},
    };
    for (const auto &s : steps) {
        inserted.clear();
        removed.clear();
        reset.clear();
        if (s.clear)
            log.clear(0);
        for (int i = 0; i < s.adds; ++i)
            log.add(edge(1 + i % 2, i % 4 < 2, at += 10));
        model.sync();
        EXPECT_EQ(model.rowCount(), s.rows);
        EXPECT_EQ(inserted.count(), s.inserted);
        EXPECT_EQ(removed.count(), s.removed);
        EXPECT_EQ(reset.count(), s.resets);
        if (s.firstNumber) {
            EXPECT_EQ(model.index(0, 0).data().toString(), s.firstNumber);
        }
    }
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Zeit (s)");
    EXPECT_EQ(model.columnCount(), app::ContactLogColumnCount);
    // A row the ring forgot before the next look is empty, not another edge.
    log.add(edge(1, true, at += 10));
    log.add(edge(1, false, at += 10));
    EXPECT_FALSE(model.logIndex(0).has_value());
    EXPECT_FALSE(model.index(0, 0).data().isValid());
}

} // namespace

TF_QT_TEST_MAIN
