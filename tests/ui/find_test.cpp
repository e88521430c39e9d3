#include <QCheckBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/support/sightings.h"
#include "tests/ui/ui_support.h"
#include "ui/dbm_text.h"
#include "ui/device_text.h"
#include "ui/find_sheet.h"
#include "ui/find_view.h"
#include "ui/meter.h"
#include "ui/signal_colours.h"

namespace quillmote {
namespace {

using test::at;
using Kind = FindSession::Status::Kind;

// Nameless and alike, as a tag that rotates its address looks.
void hear(DeviceTable& table, const std::string& key, double seconds, int rssi) {
    Advertisement tag;
    tag.serviceUUIDs = {"FD6F"};
    table.absorb(std::vector<Sighting>{test::lowEnergy(key, seconds, rssi, tag)});
}

QString text(const FindView& view, const char* name) { return view.findChild<QLabel*>(name)->text(); }
bool hidden(const FindView& view, const char* name) { return view.findChild<QWidget*>(name)->isHidden(); }
QColor colour(const FindView& view, const char* name) {
    return view.findChild<QLabel*>(name)->palette().color(QPalette::WindowText);
}

TEST(Meter, FillsFromMinusHundredToMinusThirtyFive) {
    for (const auto& [rssi, fraction] : std::initializer_list<std::pair<std::optional<double>, double>>{
             {std::nullopt, 0}, {std::nan(""), 0}, {-127, 0}, {-100, 0}, {-67.5, 0.5}, {-35, 1}, {0, 1}})
        EXPECT_DOUBLE_EQ(Meter::fraction(rssi), fraction) << rssi.value_or(1);
}

// One search as it goes: heard, warmer, colder, quiet, lost, heard again, then
// picked up under a new address. A reading is shown only while it is current.
TEST(FindView, ShowsTheSessionAsItGoes) {
    FindView view;
    const QColor grey = SignalColours::secondary(view.palette()), orange = SignalColours::orange();
    const struct {
        const char* key;
        double at;
        std::optional<int> heard;
        Kind kind;
        QString proximity;  // empty: hidden
        QColor status;
        QColor trend;
    } steps[] = {
        {"A", 0, -70, Kind::tracking, "Same room", grey, grey},
        {"A", 3, -55, Kind::tracking, "Same room", grey, orange},  // warmer
        {"A", 6, -90, Kind::tracking, "Far", grey, SignalColours::blue()},
        {"A", 10, {}, Kind::searching, "", orange, SignalColours::blue()},
        {"A", 21.1, {}, Kind::lost, "", SignalColours::red(), SignalColours::blue()},
        {"A", 22, -70, Kind::tracking, "Same room", grey, grey},
        {"B", 26, -72, Kind::reacquired, "Same room", grey, grey},
    };
    DeviceTable table;
    hear(table, "A", 0, -70);
    FindSession session(*table.record("A"));
    const RecordLookup rows = [&](const std::string& key) { return table.record(key); };
    for (const auto& step : steps) {
        if (step.heard) hear(table, step.key, step.at, *step.heard);
        session.update(table, at(step.at));
        ASSERT_EQ(session.status().kind, step.kind) << step.at;
        view.showSession(session, rows);
        const std::optional<double> reading = step.heard ? session.rssi() : std::nullopt;
        EXPECT_EQ(view.findChild<DBMText*>()->text(), dbmText(reading)) << step.at;
        EXPECT_EQ(view.findChild<Meter*>()->targetFraction(), Meter::fraction(reading)) << step.at;
        auto* effect = static_cast<QGraphicsOpacityEffect*>(view.findChild<QWidget*>("reading")->graphicsEffect());
        EXPECT_EQ(effect->opacity(), step.heard ? 1.0 : FindView::quietOpacity) << step.at;
        EXPECT_EQ(hidden(view, "proximity") ? QString() : text(view, "proximity"), step.proximity) << step.at;
        EXPECT_EQ(colour(view, "status"), step.status) << step.at;
        EXPECT_EQ(colour(view, "trend"), step.trend) << step.at;
    }
}

// An ambiguous session asks which device it is. The buttons are refreshed in place,
// so a click lands on the key it showed. A reading is cut towards zero; a name too
// long for the sheet, one unbroken word, is cut to fit and whole in the tooltip.
TEST(FindView, AmbiguousSessionOffersEveryCandidate) {
    DeviceTable table;
    hear(table, "A", 0, -60);
    FindSession session(*table.record("A"));
    hear(table, "B", 1, -62);
    hear(table, "C", 1, -61);
    session.update(table, at(3.5));
    ASSERT_EQ(session.status(), FindSession::Status::ambiguous({"B", "C"}));
    // B (and A) shown under a name with an ampersand; C's row has disappeared.
    DeviceRecord named = *table.record("B");
    named.advertisement.localName = "Tom & Jerry";
    named.smoother.value = -62.7;
    const RecordLookup lookup = [&](const std::string& key) { return key == "C" ? nullptr : &named; };

    FindView view;
    view.resize(FindSheet::sheetWidth, 500);
    std::vector<std::string> chosen;
    QObject::connect(&view, &FindView::candidateChosen, [&](const std::string& key) { chosen.push_back(key); });
    view.showSession(session, lookup);
    EXPECT_TRUE(hidden(view, "status"));
    EXPECT_FALSE(hidden(view, "candidates"));
    view.showSession(session, lookup);
    const auto buttons = view.findChild<QWidget*>("candidates")->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]->text(), "Tom && Jerry · −62 dBm");  // "&&" shows "&" instead of making a shortcut
    EXPECT_EQ(buttons[1]->text(), "C · —");
    buttons[1]->click();
    buttons[0]->click();
    EXPECT_EQ(chosen, (std::vector<std::string>{"C", "B"}));

    named.advertisement.localName = std::string(200, 'W');
    named.smoother.value = std::nan("");  // no reading, not a number
    view.showSession(session, lookup);
    const int room = FindSheet::sheetWidth - 2 * FindView::padding;
    auto* title = view.findChild<QLabel*>("title");
    EXPECT_LE(title->sizeHint().width(), room);
    EXPECT_EQ(title->toolTip(), literalToolTip("Finding " + QString(200, 'W')));
    EXPECT_TRUE(buttons[0]->text().startsWith("WWW") && buttons[0]->text().endsWith(" · —"));
    EXPECT_LE(buttons[0]->sizeHint().width(), room);
    EXPECT_EQ(buttons[0]->toolTip(), literalToolTip(QString(200, 'W') + " · —"));

    session.choose(*table.record("C"));
    view.showSession(session, lookup);
    EXPECT_TRUE(hidden(view, "candidates"));
    EXPECT_FALSE(hidden(view, "status"));
}

// Deleting on close happens on the event loop.
bool gone(const QPointer<FindSheet>& sheet) { return test::waitFor([&] { return sheet.isNull(); }, 2000); }

// The sheet follows the tag across its new address; its clicks switch and the store's
// setting follow each other; Done ends the search and silences the clicks at once, as
// Escape does. A search ended elsewhere closes the sheet, as does opening it with none.
TEST(FindSheet, FollowsItsSearchUntilItEnds) {
    test::TestStore replay("find-capture.json");
    DeviceStore& store = replay.store;
    store.start();
    QWidget window;
    window.show();
    // Starts a search once the replay has brought the row in, and opens the sheet as
    // the main window does.
    const auto find = [&](const std::string& key) -> QPointer<FindSheet> {
        if (!test::waitFor([&] { return store.table().record(key) != nullptr; })) return nullptr;
        store.startFinding(key);
        auto* sheet = new FindSheet(store, &window);
        sheet->open();
        return sheet;
    };
    QPointer<FindSheet> sheet = find("AA:00:00:00:00:01");
    ASSERT_TRUE(sheet);
    auto* number = sheet->findChild<DBMText*>();
    ASSERT_TRUE(test::waitFor([&] { return number->text() == "−60"; }));
    // The tag falls quiet at 5 s and is heard under its new address from 6.5 s.
    ASSERT_TRUE(test::waitFor(
        [&] { return store.findSession()->targetKey() == "BB:00:00:00:00:02" && number->text() == "−62"; }, 15000));

    auto* clicks = sheet->findChild<QCheckBox*>("clicks");
    ASSERT_TRUE(clicks->isChecked() && test::waitFor([&] { return store.clicks().rate() > 0; }));
    clicks->click();
    EXPECT_FALSE(store.clicksEnabled());
    ASSERT_TRUE(test::waitFor([&] { return store.clicks().rate() == 0; }));
    store.setClicksEnabled(true);
    EXPECT_TRUE(clicks->isChecked());
    ASSERT_TRUE(test::waitFor([&] { return store.clicks().rate() > 0; }));
    sheet->findChild<QPushButton*>("done")->click();
    EXPECT_FALSE(store.findSession());
    EXPECT_EQ(store.clicks().rate(), 0.0);
    EXPECT_TRUE(gone(sheet));

    for (const bool escape : {true, false}) {
        sheet = find("BB:00:00:00:00:02");
        ASSERT_TRUE(sheet && test::waitFor([&] { return store.clicks().rate() > 0; }));
        if (escape)
            QTest::keyClick(sheet, Qt::Key_Escape);
        else
            store.endFinding();
        EXPECT_EQ(store.clicks().rate(), 0.0);
        EXPECT_TRUE(gone(sheet)) << escape;
        EXPECT_FALSE(store.findSession());
    }
    sheet = new FindSheet(store, &window);
    sheet->open();
    EXPECT_TRUE(gone(sheet));
}

}  // namespace
}  // namespace quillmote
