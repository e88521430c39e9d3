#include "ui/device_text.h"

#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <map>
#include <set>

#include "ui/icons.h"

namespace quillmote {
namespace {

TEST(DeviceText, PacketRateLabel) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(packetRateLabel(std::nullopt, english), "—");
    EXPECT_EQ(packetRateLabel(12.4, english), "12");
    EXPECT_EQ(packetRateLabel(3.24, english), "3.2");
    EXPECT_EQ(packetRateLabel(9.96, english), "10.0");
    EXPECT_EQ(packetRateLabel(10.4, english), "10");
    EXPECT_EQ(packetRateLabel(0.04, english), "0.0");
    EXPECT_EQ(packetRateLabel(3.24, QLocale(QLocale::German, QLocale::Germany)), "3,2");
}

TEST(DeviceText, DbmRoundsHalvesAwayFromZero) {
    EXPECT_EQ(dbmText(std::nullopt), "—");
    EXPECT_EQ(dbmText(-62.5), "−63");
    EXPECT_EQ(dbmText(-0.4), "0");
    EXPECT_EQ(dbmText(-99.5), "−100");
    EXPECT_EQ(dbmText(-61.49), "−61");
    EXPECT_EQ(dbmText(1e300), "—");  // nothing a radio sends, but no overflow either
}

// The colours of a drawing's fully opaque pixels, and how many there are.
std::map<QRgb, int> inkOf(const QIcon& icon, QIcon::Mode mode) {
    const QImage image = icon.pixmap(24, mode).toImage().convertToFormat(QImage::Format_ARGB32);
    std::map<QRgb, int> ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255) ++ink[image.pixel(x, y)];
    return ink;
}

// Each kind has a drawing of its own, in the palette's text colour and, on a
// selected row, its highlighted-text colour; it is drawn once per palette.
TEST(KindIcons, OneDrawingPerKindInThePalettesColours) {
    QPalette palette;
    palette.setColor(QPalette::Text, QColor(Qt::black));
    palette.setColor(QPalette::HighlightedText, QColor(Qt::white));
    KindIcons icons;
    std::set<std::string_view> symbols;
    for (DeviceKind kind : allDeviceKinds) {
        symbols.insert(kindSymbol(kind));
        const QIcon& icon = icons.icon(kind, palette);
        EXPECT_EQ(icons.icon(kind, palette).cacheKey(), icon.cacheKey()) << rawValue(kind);
        const auto normal = inkOf(icon, QIcon::Normal);
        const auto selected = inkOf(icon, QIcon::Selected);
        ASSERT_EQ(normal.size(), 1u) << rawValue(kind);
        EXPECT_EQ(normal.begin()->first, QColor(Qt::black).rgba()) << rawValue(kind);
        EXPECT_GE(normal.begin()->second, 10) << rawValue(kind);
        ASSERT_EQ(selected.size(), 1u) << rawValue(kind);
        EXPECT_EQ(selected.begin()->first, QColor(Qt::white).rgba()) << rawValue(kind);
    }
    EXPECT_EQ(symbols.size(), allDeviceKinds.size());

    // Another palette (a dark theme, say) redraws in its colours.
    palette.setColor(QPalette::Text, QColor(Qt::yellow));
    EXPECT_EQ(inkOf(icons.icon(DeviceKind::phone, palette), QIcon::Normal).begin()->first, QColor(Qt::yellow).rgba());
}

TEST(DeviceText, RadioTextIsShownAsItself) {
    // Markup stays text; the label shows it only because widgets use plain text.
    EXPECT_EQ(plainText("<b>Bob</b> &amp;"), "<b>Bob</b> &amp;");
    // A right-to-left override would make "txt.exe" read backwards; it is dropped.
    EXPECT_EQ(plainText("Pods\u202Eexe.txt"), "Podsexe.txt");
    EXPECT_EQ(plainText("a\u2066b\u2069c\u200Fd"), "abcd");
    // Controls become visible pictures rather than breaking the line.
    EXPECT_EQ(plainText(std::string("a\nb\0c", 5)), QString::fromUtf8("a\u240Ab\u2400c"));
    // Bytes that are not UTF-8 become replacement characters, the rest survives.
    EXPECT_EQ(plainText("ok\xFF!"), QString::fromUtf8("ok\uFFFD!"));

    // Tooltips are read as rich text when they look like markup; these never are.
    for (const QString& text : {QStringLiteral("<b>Bob</b> & <img src=x>"), QStringLiteral("Tom &amp; Jerry")}) {
        QTextDocument shown;
        shown.setHtml(literalToolTip(text));
        EXPECT_EQ(shown.toPlainText(), text);
        EXPECT_TRUE(Qt::mightBeRichText(literalToolTip(text)));
    }
    EXPECT_TRUE(literalToolTip({}).isEmpty());
}

}  // namespace
}  // namespace quillmote
