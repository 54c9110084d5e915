// The desktop program: the configuration first, then the main window and the event loop.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QScreen>
#include <cstdio>
#include <cstring>

#include "app/kn_version.h"
#include "config/kn_unitConfig.h"
#include "engine/kn_unitCommandLinePasswords.h"
#include "engine/kn_unitSideUsage.h"
#include "framework/keychain/vex_unitKeychain.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_unitPlacement.h"
#include "framework/qt/vex_unitQtHandOver.h"
#include "framework/qt/vex_unitSessionEnd.h"
#include "side/kn_unitSideKeeper.h"
#include "ui/kn_frmMain.h"

namespace {

kn::TKNWorkArea DesktopWorkArea()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    // A first start opens at a comfortable size, not as large as the screen.
    QRect area = vex::FirstPlacement(screen->availableGeometry());
    return {area.left(), area.top(), area.width(), area.height()};
}

// Answers --help and --version (and ends the program there); returns the program's own
// switches, which keep their "/" form. Before the QApplication exists (`early`), options that
// only it knows (-platform, -style) are let pass.
QStringList ParseCommandLine(const QCoreApplication& app, bool early = false)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QString::fromStdString("Compares two folder trees, local or on a server (" + kn::ServerKinds() +
                               "), and brings them into line.\n\n"
                               "  /e           start in expert mode (updates without the confirmation dialog)\n"
                               "  /o FOLDER    compare FOLDER with a right folder chosen in a browse dialog\n"
                               "  /d FOLDER    delete the contents of FOLDER after confirmation, then the folder "
                               "itself\n\nA folder is one of these locations:\n" +
                               kn::LocationForms(kn::TKNUsageFormat::Text)));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("switch"), QStringLiteral("/e, /o FOLDER or /d FOLDER."),
                                 QStringLiteral("[/e | /o FOLDER | /d FOLDER]"));
    if (!early) {
        parser.process(app);
        return parser.positionalArguments();
    }
    parser.parse(app.arguments());
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp();
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
    return {};
}

bool AsksForHelp(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"--help", "-h", "-?", "--help-all", "--version", "-v"})
            if (std::strcmp(argv[i], option) == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    // --help and --version answer on any terminal, without a display (and end the program).
    if (AsksForHelp(argc, argv)) {
        QCoreApplication parsing(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Kestrune"));
        QCoreApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));
        ParseCommandLine(parsing, true);
    }
    QApplication app(argc, argv);
    // Outside a desktop session Qt knows no icon theme (or only the bare fallback theme); the
    // file icons come from one.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")) {
        QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    }
    QApplication::setApplicationName(QStringLiteral("Kestrune"));
    vex::SetApplicationTitle(QStringLiteral("Kestrune " KESTRUNE_VERSION));
    QApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));
    // After QApplication, which takes its own options (-platform, -style) off the line.
    const QStringList params = ParseCommandLine(app);
    // The window keeps its own copy of the switches: the passwords leave the process list now.
    if (kn::WipeCommandLinePasswords(argc, argv))
        std::fprintf(stderr, "%s\n", kn::CommandLinePasswordNotice("kestrune").c_str());
    vex::InstallQtHandOver();

    std::unique_ptr<kn::TKNConfig> config = kn::TKNConfig::OpenProgramConfig(DesktopWorkArea());
    // Server passwords go to the desktop's secret store, never into the configuration file.
    // The wait leaves time to unlock the store at its own prompt.
    vex::TvexKeychain secrets(QStringLiteral("Kestrune"), std::chrono::minutes(2));
    config->Secrets = &secrets;
    kn::TKNMainForm window(*config);
    if (!window.Started()) return 0;
    if (!window.ApplyCommandLine(params)) return 0;
    window.show();
    // A logout or SIGTERM loses nothing a normal exit would keep.
    vex::SaveAtSessionEnd([&window] { window.SaveSettings(); });
    const int code = app.exec();
    kn::DropKeptLinks();  // goodbye to the servers while the crypto library still runs
    return code;
}
