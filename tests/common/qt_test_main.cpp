// main() of the Qt test suites: the application lives on this stack frame for the whole run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <cstdlib>

int main(int argc, char** argv)
{
    // Test discovery runs this binary at build time, where there is no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (QIcon::themeName().isEmpty()) {
        QIcon::setThemeSearchPaths({"/usr/share/icons"});
        QIcon::setThemeName("Adwaita");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
