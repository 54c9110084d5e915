// The help pages built into the program and the help window over them.
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>

#include "engine/kn_unitSideRegistry.h"
#include "framework/qt/vex_frmHelp.h"
#include "tests/ui/ui_test_support.h"

static void InitHelpResources()
{
    Q_INIT_RESOURCE(kestrune);
}

namespace {

TEST(Help, EveryListedPageExistsAndHasATitle)
{
    InitHelpResources();
    std::vector<vex::HelpTopic> topics = vex::LoadHelpTopics();
    ASSERT_GE(topics.size(), 8u);
    for (const vex::HelpTopic& topic : topics) {
        EXPECT_TRUE(QFile::exists(":/help/" + topic.page)) << topic.page.toStdString();
        EXPECT_FALSE(topic.title.isEmpty()) << topic.page.toStdString();
    }
}

TEST(Help, TheDialogsKeywordsOpenTheirPages)
{
    InitHelpResources();
    struct Case {
        const char* keyword;
        const char* page;
    };
    for (const Case& c :
         {Case{"UpdateConfirm", "confirm.html"}, Case{"CompareSetup", "config.html"}, Case{"PresetMgr", "presets.html"},
          Case{"BatchMgr", "batches.html"}, Case{"comparesetup", "config.html"}}) {
        EXPECT_TRUE(vex::HelpKeyword(c.keyword)) << c.keyword;
        EXPECT_EQ(vex::HelpWindow()->CurrentPage(), c.page) << c.keyword;
    }
    EXPECT_FALSE(vex::HelpKeyword("NoSuchTopic"));
    vex::HelpWindow()->close();
}

TEST(Help, TheIndexFiltersKeywordsAndContentsListsEveryPage)
{
    InitHelpResources();
    vex::HelpIndex("batch");
    auto lists = vex::HelpWindow()->findChildren<QListWidget*>();
    ASSERT_EQ(lists.size(), 2);
    QListWidget* index = lists[1];
    int shown = 0;
    for (int i = 0; i < index->count(); ++i)
        if (!index->item(i)->isHidden()) {
            ++shown;
            EXPECT_TRUE(index->item(i)->text().contains("batch", Qt::CaseInsensitive))
                << index->item(i)->text().toStdString();
        }
    EXPECT_GE(shown, 2);
    EXPECT_EQ(vex::HelpWindow()->findChild<QTabWidget*>()->currentIndex(), 1);
    vex::HelpContents();
    EXPECT_EQ(lists[0]->count(), static_cast<int>(vex::LoadHelpTopics().size()));
    vex::HelpWindow()->close();
}

TEST(Help, TheIndexShowsTitlesAndKeywordsButNoDialogKeys)
{
    InitHelpResources();
    vex::HelpIndex();
    QListWidget* index = vex::HelpWindow()->findChildren<QListWidget*>()[1];
    QStringList texts;
    for (int i = 0; i < index->count(); ++i) texts << index->item(i)->text();
    EXPECT_TRUE(texts.contains("Batch manager")) << texts.join("; ").toStdString();
    EXPECT_TRUE(texts.contains("Confirming an update"));
    for (const vex::HelpTopic& topic : vex::LoadHelpTopics())
        for (const QString& key : topic.keys) EXPECT_FALSE(texts.contains(key)) << key.toStdString();
    for (const char* key : {"BatchMgr", "PresetMgr", "CompareSetup", "UpdateConfirm"})
        EXPECT_FALSE(texts.contains(key)) << key;
    vex::HelpWindow()->close();
}

TEST(Help, EscClosesTheHelpWindow)
{
    InitHelpResources();
    vex::HelpContents();
    vex::TvexHelpForm* window = vex::HelpWindow();
    ASSERT_TRUE(window->isVisible());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

}  // namespace

namespace {

using testutil::MainWindowTest;

// The window fills its help pages from the registry: every kind's forms, no marker left.
TEST_F(MainWindowTest, TheHelpPagesListEveryKindsLocations)
{
    InitHelpResources();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    for (const char* keyword : {"Server", "Introduction", "Show Differences"}) {
        ASSERT_TRUE(vex::HelpKeyword(keyword)) << keyword;
        const QString shown = vex::HelpWindow()->findChild<QTextBrowser*>()->toPlainText();
        EXPECT_FALSE(shown.contains("{{")) << keyword;
        for (const kn::TKNSideKind* kind : kn::SideKinds())
            for (const kn::TKNKindUsage& usage : kind->Usage()) {
                if (std::string(keyword) == "Server") {
                    EXPECT_TRUE(shown.contains(QString::fromStdString(usage.Form))) << usage.Form;
                } else if (!kind->Schemes().empty()) {
                    EXPECT_TRUE(shown.contains(QString::fromStdString(usage.Title))) << keyword << ": " << usage.Title;
                }
            }
    }
    vex::HelpWindow()->close();
}

}  // namespace
