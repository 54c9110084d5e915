// The help window: HTML pages compiled in as resources under ":/help/", with a table of
// contents, a keyword index and topics opened by keyword.
//
// ":/help/contents.txt" lists the pages in contents order, one per line:
//   page.html|Title|Keyword one;Keyword two|DialogKey
// Keywords and titles make the index; dialog keys (internal names a dialog's Help button
// asks for) only open pages. Lines that are empty or begin with "#" are skipped.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QTextBrowser;

namespace vex {

struct HelpTopic {
    QString page;
    QString title;
    QStringList keywords;
    QStringList keys;
};

// Reads the contents file; an unreadable file gives no topics.
std::vector<HelpTopic> LoadHelpTopics(const QString& contentsFile = QStringLiteral(":/help/contents.txt"));

// What every page's HTML passes through before the help window shows it (the program fills the
// markers of its pages so); none by default.
using THelpPageFilter = std::function<QString(const QString& html)>;
void SetHelpPageFilter(THelpPageFilter filter);

class TvexHelpForm : public QWidget {
    Q_OBJECT
public:
    explicit TvexHelpForm(QWidget* parent = nullptr);

    void ShowContents();
    // The index tab, its search field holding `keyword`.
    void ShowIndex(const QString& keyword);
    // Opens the first page listed under `keyword` (compared ignoring case); false when no
    // page carries it.
    bool ShowKeyword(const QString& keyword);
    // The page now shown, as its resource name ("compare.html"); empty when none.
    QString CurrentPage() const;

private:
    void BuildContents();
    void BuildIndex();
    void FilterIndex(const QString& text);
    void OpenPage(const QString& page);
    void Present();

    std::vector<HelpTopic> topics_;
    QTabWidget* tabs_;
    QListWidget* contents_;
    QLineEdit* indexSearch_;
    QListWidget* index_;
    QTextBrowser* browser_;
};

// The one help window of the program, created at the first call.
TvexHelpForm* HelpWindow();
void HelpContents();
void HelpIndex(const QString& keyword = {});
bool HelpKeyword(const QString& keyword);

}  // namespace vex
