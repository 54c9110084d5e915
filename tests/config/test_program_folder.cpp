// The program folder rule and the private temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "framework/vex_unitProgramFolder.h"
#include "tests/common/temp_tree.h"

TEST(ProgramFolder, ChoosesByTheRule)
{
    testutil::TempDir dir;
    const std::string bin = dir / "bin";       // writable, but holds no configuration
    const std::string portable = dir / "usb";  // holds a Kestrune.bin
    const std::string build = dir / "build";   // a build tree
    testutil::MakeDirs(bin);
    testutil::MakeDirs(portable);
    testutil::MakeDirs(build + "/app/gui");
    testutil::WriteFile(portable + "/Kestrune.bin", "x");
    struct Case {
        const char* name;
        std::string exeFolder, buildTree;
        std::string kestruneHome, xdg, home;
        std::string expected;
    };
    const Case cases[] = {
        {"KESTRUNE_HOME wins and is made", portable, build, dir / "home-made/", "", "", dir / "home-made"},
        {"portable copy with its Kestrune.bin", portable, "", "", dir / "xdg", "", portable},
        {"inside the build tree", build + "/app/gui", build, "", dir / "xdg", "", build + "/app/gui"},
        {"a sibling named like the build tree is outside it", dir / "build-other", build, "", dir / "xdg", "",
         dir / "xdg/kestrune"},
        {"writable folder alone: XDG_CONFIG_HOME", bin, build, "", dir / "xdg", "", dir / "xdg/kestrune"},
        {"writable folder alone: ~/.config", bin, "", "", "", dir / "home", dir / "home/.config/kestrune"},
        {"missing folder: ~/.config", dir / "no-such-bin", "", "", "", dir / "home", dir / "home/.config/kestrune"},
    };
    for (const Case& c : cases) {
        vex::ProgramFolderInputs in;
        in.exeFolder = c.exeFolder;
        in.buildTree = c.buildTree;
        in.kestruneHome = c.kestruneHome.c_str();
        in.xdgConfigHome = c.xdg.c_str();
        in.home = c.home.c_str();
        EXPECT_EQ(vex::ChooseProgramFolder(in), c.expected) << c.name;
        struct stat st;
        EXPECT_EQ(stat(c.expected.c_str(), &st), 0) << c.name << ": the chosen folder exists";
    }
}

TEST(ProgramFolder, EnvironmentOverride)
{
    testutil::TempDir dir;
    const char* old = std::getenv("KESTRUNE_HOME");
    std::string saved = old ? old : "";
    setenv("KESTRUNE_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(vex::ProgramFolder(), dir.path());
    if (old)
        setenv("KESTRUNE_HOME", saved.c_str(), 1);
    else
        unsetenv("KESTRUNE_HOME");
    EXPECT_EQ(vex::JoinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(vex::JoinPath("/a", "b"), "/a/b");
}

TEST(ProgramFolder, PrivateTempFolderIsTheUsersAlone)
{
    std::string folder, error;
    ASSERT_TRUE(vex::PrivateTempFolder(folder, error)) << error;
    struct stat st;
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, getuid());
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::string again;
    ASSERT_TRUE(vex::PrivateTempFolder(again, error));
    EXPECT_EQ(again, folder);
}

TEST(ProgramFolder, PrivateTempFolderAvoidsAForeignFolder)
{
    testutil::TempDir dir;
    const std::string expected = dir / ("kestrune-" + std::to_string(getuid()));
    ASSERT_EQ(mkdir(expected.c_str(), 0777), 0);
    chmod(expected.c_str(), 0777);  // open to everybody: not private
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", dir.path().c_str(), 1);
    std::string folder, error;
    bool made = vex::PrivateTempFolder(folder, error);
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    ASSERT_TRUE(made) << error;
    EXPECT_NE(folder, expected);
    EXPECT_EQ(folder.rfind(expected + "-", 0), 0u) << folder;
    struct stat st;
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}
