// The desktop program: the configuration first, then the main window and the event loop.
#include <QApplication>
#include <QIcon>
#include <QScreen>

#include "config/kn_unitConfig.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_unitQtHandOver.h"
#include "ui/kn_frmMain.h"

namespace {

kn::TKNWorkArea DesktopWorkArea()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    QRect area = screen->availableGeometry();
    return {area.left(), area.top(), area.width(), area.height()};
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Outside a desktop session Qt knows no icon theme (or only the bare fallback theme); the
    // file icons come from one.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")) {
        QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    }
    QApplication::setApplicationName(QStringLiteral("Kestrune"));
    vex::SetApplicationTitle(QStringLiteral("Kestrune 3.3.2"));
    QApplication::setApplicationVersion(QStringLiteral("3.3.2"));
    vex::InstallQtHandOver();

    std::unique_ptr<kn::TKNConfig> config = kn::TKNConfig::OpenProgramConfig(DesktopWorkArea());
    kn::TKNMainForm window(*config);
    if (!window.Started()) return 0;
    if (!window.ApplyCommandLine(QApplication::arguments().mid(1))) return 0;
    window.show();
    return app.exec();
}
