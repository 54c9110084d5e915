// The image lists and the panelled status bar.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProgressBar>

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

TEST(StatusBar, PanelsKeepTheirWidthsTextsAndHostedControlAtTheLeft)
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
    EXPECT_LE(gauge->geometry().left(), 4) << "the gauge starts at the panel's left";
    EXPECT_EQ(gauge->geometry().center().y(), first->rect().center().y());
    first->SetText("Searching...");
    EXPECT_EQ(first->Text(), "Searching...");
    EXPECT_TRUE(first->Alignment() & Qt::AlignHCenter);
    first->SetText(QString(120, QLatin1Char('x')));
    QCoreApplication::processEvents();
    EXPECT_EQ(first->width(), 202) << "a fixed panel cuts a long text";
}

TEST(StatusBar, APanelThatFitsItsTextGrowsFromItsMinimum)
{
    vex::TvexStatusBar bar;
    vex::TvexStatusPanel* first = bar.AddPanel(202);
    first->SetFitsText(true);
    vex::TvexStatusPanel* rest = bar.AddPanel(0);
    bar.resize(900, 24);
    bar.show();
    first->SetText("Ready");
    QCoreApplication::processEvents();
    EXPECT_EQ(first->width(), 202) << "a short text keeps the minimum";
    const QString found = QStringLiteral("Found 50,000 folder(s) and file(s). Found 50,000 folder(s) and file(s).");
    first->SetText(found);
    QCoreApplication::processEvents();
    EXPECT_GE(first->width(), first->fontMetrics().horizontalAdvance(found)) << "the whole text shows";
    EXPECT_GT(rest->width(), 0);
    EXPECT_LT(first->geometry().left(), 10) << "the first panel starts at the bar's left";
    EXPECT_GT(rest->geometry().left(), first->geometry().right()) << "the next panel follows it";
    EXPECT_LT(rest->geometry().left(), first->geometry().right() + 12);
}

}  // namespace
