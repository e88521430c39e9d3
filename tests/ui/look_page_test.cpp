#include "ui/looks/look_page.h"

#include <QImage>
#include <QLineEdit>
#include <QCheckBox>
#include <QScrollBar>
#include <QSet>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "tests/ui/ui_support.h"
#include "ui/main_window.h"
#include "ui/segmented_control.h"

namespace quillmote {
namespace {

using test::settle;
using test::waitFor;

const std::string demo = QUILLMOTE_TEST_DATA "/../../data/demo-capture.json";

// The window over the demo room, launched with `arguments` the way the program is.
struct LookWindow {
    test::TestStore replay;
    DeviceStore& store = replay.store;
    std::unique_ptr<MainWindow> window;

    explicit LookWindow(const QStringList& arguments, const QString& storedLook = {}) : replay(demo, arguments) {
        if (!storedLook.isEmpty()) replay.settings.setText(QStringLiteral("look"), storedLook);
        applyLookOverride(replay.settings);
        window = std::make_unique<MainWindow>(store);
        window->show();
        store.start();
    }
    LookPage& page() const { return *window->lookPage(); }
    const LookLayout& layout() const { return page().layout(); }
    QPoint centre(const std::string& key) const {
        for (const auto& row : layout().rows)
            if (row.key == key) return row.rect.center().toPoint();
        return {};
    }
};

TEST(Looks, StartLookTakesOnlyAnExactNameAndTheLookKeepsTheListActions) {
    LookWindow lower({"-startLook", "ledger"}, QStringLiteral("Voice"));
    EXPECT_EQ(lower.window->look(), Look::voice);
    EXPECT_EQ(lower.replay.settings.text(QStringLiteral("look")), QStringLiteral("Voice"));

    LookWindow w({"-startLook", "Ledger"});
    EXPECT_EQ(w.replay.settings.text(QStringLiteral("look")), QStringLiteral("Ledger"));
    ASSERT_TRUE(waitFor([&] { return w.page().isVisible() && w.layout().rows.size() >= 30; }));
    EXPECT_EQ(w.window->lookPicker()->current(), static_cast<int>(Look::ledger));
    EXPECT_TRUE(w.window->lookAction(Look::ledger)->isChecked());
    EXPECT_FALSE(w.window->pagePicker()->isVisible());
    EXPECT_TRUE(w.window->searchField()->isVisible());
    EXPECT_TRUE(w.window->hideUnidentifiedBox()->isVisible());
    EXPECT_LT(w.window->palette().color(QPalette::Window).lightness(), 100);  // ledger is dark

    // The search field filters the look as it filters the list.
    const auto everyone = w.layout().rows.size();
    w.window->searchField()->setText(QStringLiteral("keychron"));
    ASSERT_TRUE(waitFor([&] { return w.layout().rows.size() < everyone; }));
    EXPECT_EQ(w.layout().rows.size(), 1u);

    // Choosing another look restyles the window and is kept for next time; the
    // standard one brings back the list and the page picker.
    w.window->lookAction(Look::voice)->trigger();
    settle();
    EXPECT_EQ(w.replay.settings.text(QStringLiteral("look")), QStringLiteral("Voice"));
    EXPECT_GT(w.window->palette().color(QPalette::Window).lightness(), 200);
    EXPECT_EQ(w.layout().background, QColor(0xF2, 0xF0, 0xEA));
    QTest::mouseClick(w.window->lookPicker()->findChildren<QToolButton*>().at(0), Qt::LeftButton);
    settle();
    EXPECT_EQ(w.window->look(), Look::standard);
    EXPECT_TRUE(w.window->deviceTable()->isVisible());
    EXPECT_TRUE(w.window->pagePicker()->isVisible());
    EXPECT_FALSE(w.page().isVisible());
}

// Type that leaves the page or runs into other type, or rows that overlap, is a
// layout fault at any size.
void expectTidy(const LookLayout& layout, double width, const std::string& name) {
    std::vector<QRectF> type;
    for (const auto& piece : layout.pieces) {
        EXPECT_TRUE(QRectF(0, 0, width, layout.height).contains(piece.bounds)) << name;
        if (piece.line == 0) continue;  // bands and rules lie under or between type
        for (const QRectF& other : type) EXPECT_FALSE(other.intersects(piece.bounds)) << name;
        type.push_back(piece.bounds);
    }
    for (std::size_t i = 0; i < layout.rows.size(); ++i)
        for (std::size_t j = i + 1; j < layout.rows.size(); ++j)
            EXPECT_FALSE(layout.rows[i].rect.intersects(layout.rows[j].rect))
                << name << ": " << layout.rows[i].key << " and " << layout.rows[j].key;
}

TEST(Looks, RowsSelectAndFindAndEachLookFitsTheWindow) {
    for (Look look : {Look::voice, Look::ledger, Look::present}) {
        const std::string name(rawValue(look));
        LookWindow w({}, QString::fromStdString(name));
        ASSERT_TRUE(waitFor([&] { return w.layout().rows.size() >= 30; })) << name;
        // Long enough for the readings to settle into their smoothed values.
        QTest::qWait(1500);

        const std::string key = w.layout().rows.at(2).key;
        QTest::mouseClick(w.page().canvas(), Qt::LeftButton, {}, w.centre(key));
        EXPECT_EQ(w.store.selectedKey(), key) << name;
        settle();

        for (const QSize size : {QSize(MainWindow::defaultWidth, MainWindow::defaultHeight), QSize(1000, 520)}) {
            w.window->resize(size);
            settle();
            const std::string shot = "look-" + QString::fromStdString(name).toLower().toStdString() + "-" +
                                     std::to_string(size.width()) + "x" + std::to_string(size.height());
            expectTidy(w.layout(), w.page().viewport()->width(), shot);
            EXPECT_TRUE(test::saveScreenshot(*w.window, QString::fromStdString(shot)));
        }

        // The foot of the page too: the paired devices and the notes.
        w.page().verticalScrollBar()->setValue(w.page().verticalScrollBar()->maximum());
        settle();
        EXPECT_TRUE(test::saveScreenshot(*w.window, "look-" + QString::fromStdString(name).toLower() + "-end"));

        // Edges are antialiased: the page holds shades between ground and ink.
        const QImage picture = w.page().viewport()->grab().toImage();
        QSet<QRgb> shades;
        for (int y = 0; y < picture.height(); y += 2)
            for (int x = 0; x < picture.width(); x += 2) shades.insert(picture.pixel(x, y));
        EXPECT_GT(shades.size(), 20) << name;

        QTest::mouseDClick(w.page().canvas(), Qt::LeftButton, {}, w.centre(key));
        ASSERT_TRUE(w.store.findSession()) << name;
        w.store.endFinding();
    }
}

}  // namespace
}  // namespace quillmote
