#include "ui/find_view.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include "tests/support/sightings.h"
#include "tests/ui/ui_support.h"
#include "ui/dbm_text.h"
#include "ui/find_sheet.h"
#include "ui/device_text.h"
#include "ui/meter.h"
#include "ui/signal_colours.h"

namespace quillmote {
namespace {

using test::at;
using Kind = FindSession::Status::Kind;

// Nameless and alike, as a tag that rotates its address looks.
Advertisement tag() {
    Advertisement ad;
    ad.serviceUUIDs = {"FD6F"};
    return ad;
}

void hear(DeviceTable& table, const std::string& key, double seconds, int rssi) {
    table.absorb(std::vector<Sighting>{test::lowEnergy(key, seconds, rssi, tag())});
}

RecordLookup rowsOf(const DeviceTable& table) {
    return [&table](const std::string& key) { return table.record(key); };
}

// The view's parts, found as a person would find them: by what they are.
struct Shown {
    FindView& view;

    QString text(const char* name) const { return view.findChild<QLabel*>(name)->text(); }
    bool hidden(const char* name) const { return view.findChild<QWidget*>(name)->isHidden(); }
    QColor colour(const char* name) const {
        return view.findChild<QLabel*>(name)->palette().color(QPalette::WindowText);
    }
    QString number() const { return view.findChild<DBMText*>()->text(); }
    double opacity() const {
        return static_cast<QGraphicsOpacityEffect*>(view.findChild<QWidget*>("reading")->graphicsEffect())->opacity();
    }
    const Meter& meter() const { return *view.findChild<Meter*>(); }
    QStringList candidates() const {
        QStringList texts;
        for (auto* button : view.findChild<QWidget*>("candidates")->findChildren<QPushButton*>())
            if (!button->isHidden()) texts << button->text();
        return texts;
    }
};

TEST(Meter, FillsFromMinusHundredToMinusThirtyFiveAndGlides) {
    EXPECT_EQ(Meter::fraction(std::nullopt), 0.0);
    EXPECT_EQ(Meter::fraction(-100), 0.0);
    EXPECT_EQ(Meter::fraction(-127), 0.0);
    EXPECT_DOUBLE_EQ(Meter::fraction(-67.5), 0.5);
    EXPECT_EQ(Meter::fraction(-35), 1.0);
    EXPECT_EQ(Meter::fraction(0), 1.0);
    EXPECT_EQ(Meter::fraction(std::nan("")), 0.0);

    Meter meter;
    meter.resize(300, Meter::capsuleHeight);
    meter.setRssi(-54);
    EXPECT_NEAR(meter.targetFraction(), 46.0 / 65, 1e-12);
    EXPECT_EQ(meter.shownFraction(), 0.0) << "the fill glides there, it does not jump";
    ASSERT_TRUE(test::waitFor([&] { return meter.shownFraction() == meter.targetFraction(); }));
    meter.setRssi(std::nullopt);
    ASSERT_TRUE(test::waitFor([&] { return meter.shownFraction() == 0.0; }));
}

TEST(FindView, QuietTargetShowsNoReadingAndSaysWhy) {
    DeviceTable table;
    hear(table, "A", 0, -60);
    FindSession session(*table.record("A"));
    session.update(table, at(5));
    ASSERT_EQ(session.status().kind, Kind::searching);
    ASSERT_EQ(session.rssi(), std::optional<double>(-60));

    FindView view;
    Shown shown{view};
    view.showSession(session, rowsOf(table));
    EXPECT_EQ(shown.text("title"), "Finding " + plainText(table.record("A")->displayName()));
    EXPECT_EQ(shown.number(), "—") << "the last value is not shown as if it were current";
    EXPECT_DOUBLE_EQ(shown.opacity(), FindView::quietOpacity);
    EXPECT_EQ(shown.meter().targetFraction(), 0.0);
    EXPECT_TRUE(shown.hidden("proximity"));
    EXPECT_EQ(shown.text("status"), "Lost the signal for a moment. Still listening…");
    EXPECT_EQ(shown.colour("status"), SignalColours::orange());
    EXPECT_TRUE(shown.hidden("candidates"));

    session.update(table, at(15.1));
    view.showSession(session, rowsOf(table));
    EXPECT_EQ(shown.text("status"),
              "Lost the signal. The device may be out of range, switched off, or in a pocket behind a wall.");
    EXPECT_EQ(shown.colour("status"), SignalColours::red());
    EXPECT_EQ(shown.number(), "—");

    // Heard again: the reading comes back at full strength.
    hear(table, "A", 16, -70);
    session.update(table, at(16));
    view.showSession(session, rowsOf(table));
    EXPECT_EQ(shown.text("status"), "Walk around slowly. The number rises as you get closer.");
    EXPECT_EQ(shown.colour("status"), SignalColours::secondary(view.palette()));
    EXPECT_EQ(shown.number(), dbmText(session.rssi()));
    EXPECT_DOUBLE_EQ(shown.opacity(), 1.0);
    EXPECT_FALSE(shown.hidden("proximity"));
    EXPECT_EQ(shown.text("proximity"), "Same room");

    // A target whose row has gone is still followed, under a plain title.
    view.showSession(session, [](const std::string&) { return nullptr; });
    EXPECT_EQ(shown.text("title"), "Finding device");
}

TEST(FindView, ReacquiredTargetNearby) {
    DeviceTable table;
    hear(table, "A", 0, -54);
    FindSession session(*table.record("A"));
    hear(table, "B", 4, -54);
    session.update(table, at(4));
    ASSERT_EQ(session.status(), FindSession::Status::reacquired("A"));

    FindView view;
    Shown shown{view};
    view.showSession(session, rowsOf(table));
    EXPECT_EQ(shown.number(), "−54");
    EXPECT_DOUBLE_EQ(shown.opacity(), 1.0);
    EXPECT_NEAR(shown.meter().targetFraction(), 0.71, 0.005);
    EXPECT_EQ(shown.text("proximity"), "Near");
    EXPECT_FALSE(shown.hidden("proximity"));
    EXPECT_EQ(shown.text("status"),
              "Re-acquired: the device changed its privacy address and was picked up again.");
    EXPECT_EQ(shown.text("trend"), "Steady");
    EXPECT_EQ(shown.colour("trend"), SignalColours::secondary(view.palette()));
}

// The lowest row of the label's drawn ink: for digits and "dBm" alike, the baseline.
int inkBottom(QLabel& label) {
    const QImage image = label.grab().toImage();
    const QColor paper = label.palette().color(QPalette::Window);
    for (int y = image.height() - 1; y >= 0; --y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < qGray(paper.rgb()) - 60) return label.mapTo(label.window(), QPoint(0, y)).y();
    return -1;
}

TEST(FindView, NumberAndUnitShareABaseline) {
    DeviceTable table;
    hear(table, "A", 0, -62);
    FindView view;
    view.showSession(FindSession(*table.record("A")), rowsOf(table));
    view.resize(FindSheet::sheetWidth, view.sizeHint().height());
    view.show();
    auto& number = *view.findChild<DBMText*>();
    auto& unit = *view.findChild<QLabel*>("unit");
    ASSERT_EQ(number.text(), "−62");
    const int numberBase = inkBottom(number);
    ASSERT_GT(numberBase, 0);
    EXPECT_NEAR(inkBottom(unit), numberBase, 1);
}

TEST(FindView, TrendTakesItsColour) {
    DeviceTable table;
    hear(table, "A", 0, -70);
    FindSession session(*table.record("A"));
    session.update(table, at(0));
    hear(table, "A", 3, -55);
    session.update(table, at(3));
    ASSERT_EQ(session.trend(), TrendDirection::warmer);

    FindView view;
    Shown shown{view};
    view.showSession(session, rowsOf(table));
    EXPECT_EQ(shown.text("trend"), "Warmer");
    EXPECT_EQ(shown.text("trendIcon"), "↑");
    EXPECT_EQ(shown.colour("trend"), SignalColours::orange());
    EXPECT_EQ(shown.colour("trendIcon"), SignalColours::orange());

    hear(table, "A", 6, -90);
    session.update(table, at(6));
    ASSERT_EQ(session.trend(), TrendDirection::colder);
    view.showSession(session, rowsOf(table));
    EXPECT_EQ(shown.text("trend"), "Colder");
    EXPECT_EQ(shown.colour("trend"), SignalColours::blue());
    EXPECT_EQ(shown.text("proximity"), "Far");
}

TEST(FindView, AmbiguousSessionOffersEveryCandidate) {
    DeviceTable table;
    hear(table, "A", 0, -60);
    FindSession session(*table.record("A"));
    hear(table, "B", 1, -62);
    hear(table, "C", 1, -61);
    session.update(table, at(3.5));
    ASSERT_EQ(session.status(), FindSession::Status::ambiguous({"B", "C"}));

    // B is shown under a name with an ampersand; C's row has disappeared.
    DeviceRecord named = *table.record("B");
    named.advertisement.localName = "Tom & Jerry";
    named.smoother.value = -62.7;
    const RecordLookup lookup = [&](const std::string& key) -> const DeviceRecord* {
        if (key == "B") return &named;
        if (key == "A") return table.record("A");
        return nullptr;
    };

    FindView view;
    Shown shown{view};
    std::vector<std::string> chosen;
    QObject::connect(&view, &FindView::candidateChosen, [&](const std::string& key) { chosen.push_back(key); });
    view.showSession(session, lookup);
    EXPECT_TRUE(shown.hidden("status"));
    EXPECT_FALSE(shown.hidden("candidates"));
    EXPECT_EQ(shown.text("question"),
              "It changed its privacy address and several similar devices appeared. Which one is it?");
    // "&&" shows as one "&" instead of making a keyboard shortcut.
    EXPECT_EQ(shown.candidates(), (QStringList{"Tom && Jerry · −62 dBm", "C · —"}));
    view.resize(FindSheet::sheetWidth, view.sizeHint().height());
    view.show();
    EXPECT_TRUE(test::saveScreenshot(view, "find-view-ambiguous"));

    // Ticks refresh the same buttons, so a click lands on the key it showed.
    view.showSession(session, lookup);
    auto buttons = view.findChild<QWidget*>("candidates")->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 2);
    buttons[1]->click();
    buttons[0]->click();
    EXPECT_EQ(chosen, (std::vector<std::string>{"C", "B"}));

    session.choose(*table.record("C"));
    view.showSession(session, lookup);
    EXPECT_TRUE(shown.hidden("candidates"));
    EXPECT_FALSE(shown.hidden("status"));
}

TEST(FindView, LongRadioNamesAreCutToFit) {
    DeviceTable table;
    hear(table, "A", 0, -60);
    FindSession session(*table.record("A"));
    hear(table, "B", 1, -60);
    hear(table, "C", 1, -60);
    session.update(table, at(3.5));
    ASSERT_EQ(session.status().kind, Kind::ambiguous);

    // One unbroken word, so wrapping cannot help.
    DeviceRecord named = *table.record("B");
    named.advertisement.localName = std::string(200, 'W');
    const RecordLookup lookup = [&](const std::string& key) -> const DeviceRecord* {
        return key == "C" ? table.record("C") : &named;
    };

    FindView view;
    view.resize(FindSheet::sheetWidth, 500);
    view.showSession(session, lookup);
    const int room = FindSheet::sheetWidth - 2 * FindView::padding;
    auto* title = view.findChild<QLabel*>("title");
    EXPECT_TRUE(title->text().startsWith("Finding WWW"));
    EXPECT_TRUE(title->text().endsWith("…"));
    EXPECT_LE(title->sizeHint().width(), room);
    EXPECT_EQ(title->toolTip(), literalToolTip("Finding " + QString(200, 'W')));

    const auto buttons = view.findChild<QWidget*>("candidates")->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_TRUE(buttons[0]->text().startsWith("WWW"));
    EXPECT_TRUE(buttons[0]->text().endsWith(" · −60 dBm")) << "the reading survives the cut";
    EXPECT_LE(buttons[0]->sizeHint().width(), room);
    EXPECT_EQ(buttons[0]->toolTip(), literalToolTip(QString(200, 'W') + " · −60 dBm"));
    EXPECT_TRUE(buttons[1]->toolTip().isEmpty());
}

TEST(FindView, CandidateLabelTruncatesTheSignal) {
    DeviceRecord record;
    record.advertisement.localName = "Keys";
    EXPECT_EQ(FindView::candidateLabel("K", &record), "Keys · —");
    record.smoother.value = -62.7;
    EXPECT_EQ(FindView::candidateLabel("K", &record), "Keys · −62 dBm");
    record.smoother.value = -0.4;
    EXPECT_EQ(FindView::candidateLabel("K", &record), "Keys · 0 dBm");
    record.smoother.value = std::nan("");
    EXPECT_EQ(FindView::candidateLabel("K", &record), "Keys · —");
    // A gone row shows its key, as plain text.
    EXPECT_EQ(FindView::candidateLabel("AA\u202E:01", nullptr), "AA:01 · —");
}

}  // namespace
}  // namespace quillmote
