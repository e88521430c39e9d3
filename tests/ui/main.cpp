// Window tests run real widgets on Qt's offscreen platform.
#include <QApplication>
#include <QFontDatabase>
#include <cstdio>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Without a font every glyph is a box and text measurements are meaningless.
    if (QFontDatabase::families().isEmpty()) {
        std::fprintf(stderr, "no fonts installed: install fonts-dejavu-core\n");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
