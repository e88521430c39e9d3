#include "ui/find_sheet.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <gtest/gtest.h>

#include "tests/ui/ui_support.h"
#include "ui/dbm_text.h"

namespace quillmote {
namespace {

using test::ReplayStore;
using test::waitFor;

const std::string tagBefore = "AA:00:00:00:00:01";
const std::string tagAfter = "BB:00:00:00:00:02";
const std::string keyboard = "5C:3A:91:0E:22:7B";

// Starts a search for `key` once the replay has brought its row in, and opens the
// sheet as the main window does.
QPointer<FindSheet> openSheet(DeviceStore& store, QWidget& window, const std::string& key) {
    if (!waitFor([&] { return store.table().record(key) != nullptr; })) return nullptr;
    store.startFinding(key);
    auto* sheet = new FindSheet(store, &window);
    sheet->open();
    return sheet;
}

// Deleting on close happens on the event loop.
bool goneAfterClosing(const QPointer<FindSheet>& sheet) {
    return waitFor([&] { return sheet.isNull(); }, 2000);
}

QString status(FindSheet& sheet) { return sheet.findChild<QLabel*>("status")->text(); }

TEST(FindSheet, FollowsTheTagAcrossItsNewAddressUntilDone) {
    ReplayStore replay("find-capture.json");
    DeviceStore& store = replay.store;
    store.start();
    QWidget window;
    window.resize(900, 600);
    window.show();

    QPointer<FindSheet> sheet = openSheet(store, window, tagBefore);
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->width(), FindSheet::sheetWidth);
    EXPECT_EQ(sheet->minimumWidth(), sheet->maximumWidth());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(sheet->isVisible());

    ASSERT_TRUE(waitFor([&] { return sheet->findChild<DBMText*>()->text() == "−60"; }));
    EXPECT_EQ(status(*sheet), "Walk around slowly. The number rises as you get closer.");
    ASSERT_TRUE(waitFor([&] { return store.clicks().rate() > 0; }));

    // The tag falls quiet at 5 s and is heard under its new address from 6.5 s.
    ASSERT_TRUE(waitFor(
        [&] { return status(*sheet) == "Re-acquired: the device changed its privacy address and was picked up again."; },
        15000));
    EXPECT_EQ(store.findSession()->targetKey(), tagAfter);
    ASSERT_TRUE(waitFor([&] { return sheet->findChild<DBMText*>()->text() == "−62"; }));
    ASSERT_TRUE(waitFor([&] { return store.record(tagAfter).has_value(); }));
    ASSERT_TRUE(waitFor([&] {
        return sheet->findChild<QLabel*>("title")->text() == "Finding " + QString::fromStdString(store.record(tagAfter)->displayName());
    }));
    EXPECT_TRUE(test::saveScreenshot(*sheet, "find-sheet"));

    // The switch and the store's setting follow each other.
    auto* clicks = sheet->findChild<QCheckBox*>("clicks");
    EXPECT_TRUE(clicks->isChecked());
    clicks->click();
    EXPECT_FALSE(store.clicksEnabled());
    ASSERT_TRUE(waitFor([&] { return store.clicks().rate() == 0; }));
    store.setClicksEnabled(true);
    EXPECT_TRUE(clicks->isChecked());
    ASSERT_TRUE(waitFor([&] { return store.clicks().rate() > 0; }));

    sheet->findChild<QPushButton*>("done")->click();
    EXPECT_FALSE(store.findSession());
    EXPECT_EQ(store.clicks().rate(), 0.0) << "silenced at once, not at the next tick";
    EXPECT_TRUE(goneAfterClosing(sheet));
}

TEST(FindSheet, EscapeAndClosingEndTheSearch) {
    ReplayStore replay("sample-capture.json");
    DeviceStore& store = replay.store;
    store.start();
    QWidget window;
    window.show();

    QPointer<FindSheet> sheet = openSheet(store, window, keyboard);
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(waitFor([&] { return store.clicks().rate() > 0; }));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(sheet, &escape);
    EXPECT_FALSE(store.findSession());
    EXPECT_EQ(store.clicks().rate(), 0.0);
    EXPECT_TRUE(goneAfterClosing(sheet));

    // The window's close button.
    sheet = openSheet(store, window, keyboard);
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(waitFor([&] { return store.clicks().rate() > 0; }));
    sheet->close();
    EXPECT_FALSE(store.findSession());
    EXPECT_EQ(store.clicks().rate(), 0.0);
    EXPECT_TRUE(goneAfterClosing(sheet));
}

TEST(FindSheet, ClosesWhenTheSearchEndsElsewhere) {
    ReplayStore replay("sample-capture.json");
    DeviceStore& store = replay.store;
    store.start();
    QWidget window;
    window.show();

    QPointer<FindSheet> sheet = openSheet(store, window, keyboard);
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(waitFor([&] { return sheet->findChild<DBMText*>()->text() != "—"; }));
    store.endFinding();
    EXPECT_TRUE(goneAfterClosing(sheet));

    // Opened when there is no search to show, it closes at once too.
    sheet = new FindSheet(store, &window);
    sheet->open();
    EXPECT_TRUE(goneAfterClosing(sheet));
    EXPECT_FALSE(store.findSession());
}

}  // namespace
}  // namespace quillmote
