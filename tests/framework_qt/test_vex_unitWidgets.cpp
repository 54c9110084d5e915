// The image lists and the panelled status bar.
#include <QCoreApplication>
#include <QProgressBar>
#include <gtest/gtest.h>

#include "framework/qt/vex_unitImageList.h"
#include "framework/qt/vex_unitStatusBar.h"
#include "framework/qt/vex_unitSysImageList.h"

namespace {

TEST(SysImageList, FoldersShareTheFolderIconAndFilesShareAnIconPerType)
{
    vex::TvexSysImageList images;
    EXPECT_EQ(images.IconIndex("/no/such/folder", true), vex::TvexSysImageList::kFolderIndex);
    int text = images.IconIndex("/no/such/folder/notes.txt", false);
    EXPECT_EQ(images.IconIndex("other.TXT", false), text) << "extensions compare without case";
    EXPECT_EQ(images.IconIndex("C:\\dos\\path\\readme.txt", false), text) << "backslash paths";
    int image = images.IconIndex("/x/photo.png", false);
    EXPECT_NE(image, text) << "the theme has distinct text and image icons";
    EXPECT_EQ(images.IconIndex("/x/unknown.zz9qq", false), vex::TvexSysImageList::kFileIndex);
    for (int i : {text, image}) EXPECT_FALSE(images.Icon(i).isNull()) << i;
    EXPECT_TRUE(images.Icon(images.Count()).isNull());
    EXPECT_TRUE(images.Icon(-1).isNull());
}

TEST(ImageList, IndexesFollowTheOrderOfAddingAndMissingResourcesKeepTheirPlace)
{
    vex::TvexImageList list;
    EXPECT_EQ(list.AddResource(":/no/such/image.png"), 0);
    QPixmap red(16, 16);
    red.fill(Qt::red);
    EXPECT_EQ(list.Add(QIcon(red)), 1);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Icon(1).pixmap(16, 16).toImage().pixelColor(3, 3), QColor(Qt::red));
    EXPECT_TRUE(list.Icon(2).isNull());
}

TEST(StatusBar, PanelsKeepTheirWidthsTextsAndHostedControlCentred)
{
    vex::TvexStatusBar bar;
    vex::TvexStatusPanel* first = bar.AddPanel(202, Qt::AlignHCenter);
    vex::TvexStatusPanel* rest = bar.AddPanel(0);
    auto* gauge = new QProgressBar;
    gauge->resize(200, 15);
    first->SetControl(gauge);
    bar.resize(700, 24);
    bar.show();
    QCoreApplication::processEvents();

    EXPECT_EQ(bar.PanelCount(), 2);
    EXPECT_EQ(bar.Panel(2), nullptr);
    EXPECT_EQ(first->width(), 202);
    EXPECT_GT(rest->width(), 300) << "the last panel takes the rest of the bar";
    EXPECT_EQ(gauge->parentWidget(), first);
    EXPECT_EQ(gauge->geometry().center().x(), first->rect().center().x());
    first->SetText("Searching...");
    EXPECT_EQ(first->Text(), "Searching...");
    EXPECT_TRUE(first->Alignment() & Qt::AlignHCenter);
}

}  // namespace
