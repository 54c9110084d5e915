#include "framework/qt/vex_frmHelp.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextStream>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

namespace vex {

namespace {

THelpPageFilter& PageFilter()
{
    static THelpPageFilter filter;
    return filter;
}

// A browser whose pages pass through the installed filter.
class TFilteredBrowser : public QTextBrowser {
public:
    QVariant loadResource(int type, const QUrl& name) override
    {
        QVariant loaded = QTextBrowser::loadResource(type, name);
        if (type != QTextDocument::HtmlResource || !PageFilter()) return loaded;
        const QString html =
            loaded.typeId() == QMetaType::QByteArray ? QString::fromUtf8(loaded.toByteArray()) : loaded.toString();
        return PageFilter()(html);
    }
};

}  // namespace

void SetHelpPageFilter(THelpPageFilter filter)
{
    PageFilter() = std::move(filter);
}

std::vector<HelpTopic> LoadHelpTopics(const QString& contentsFile)
{
    std::vector<HelpTopic> topics;
    QFile file(contentsFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return topics;
    QTextStream in(&file);
    while (!in.atEnd()) {
        QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        QStringList parts = line.split('|');
        HelpTopic topic{parts.value(0).trimmed(), parts.value(1).trimmed(), {}, {}};
        for (const QString& keyword : parts.value(2).split(';', Qt::SkipEmptyParts))
            topic.keywords << keyword.trimmed();
        for (const QString& key : parts.value(3).split(';', Qt::SkipEmptyParts)) topic.keys << key.trimmed();
        if (!topic.page.isEmpty()) topics.push_back(topic);
    }
    return topics;
}

TvexHelpForm::TvexHelpForm(QWidget* parent)
    : QWidget(parent, Qt::Window),
      topics_(LoadHelpTopics()),
      tabs_(new QTabWidget),
      contents_(new QListWidget),
      indexSearch_(new QLineEdit),
      index_(new QListWidget),
      browser_(new TFilteredBrowser)
{
    setWindowTitle(tr("%1 Help").arg(QApplication::applicationName()));
    setObjectName("HelpWindow");
    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(4, 4, 4, 4);
    indexSearch_->setPlaceholderText(tr("Type a keyword"));
    indexSearch_->setClearButtonEnabled(true);
    indexLayout->addWidget(indexSearch_);
    indexLayout->addWidget(index_);
    tabs_->addTab(contents_, tr("Contents"));
    tabs_->addTab(indexPage, tr("Index"));

    browser_->setSearchPaths({QStringLiteral(":/help")});
    browser_->setOpenExternalLinks(true);
    auto* splitter = new QSplitter;
    splitter->addWidget(tabs_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 640});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    resize(900, 600);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    BuildContents();
    BuildIndex();
    connect(contents_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(topics_.size())) OpenPage(topics_[size_t(row)].page);
    });
    connect(index_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { OpenPage(item->data(Qt::UserRole).toString()); });
    connect(index_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { OpenPage(item->data(Qt::UserRole).toString()); });
    connect(indexSearch_, &QLineEdit::textChanged, this, &TvexHelpForm::FilterIndex);
    connect(indexSearch_, &QLineEdit::returnPressed, this, [this] {
        for (int i = 0; i < index_->count(); ++i)
            if (!index_->item(i)->isHidden()) return OpenPage(index_->item(i)->data(Qt::UserRole).toString());
    });
}

void TvexHelpForm::BuildContents()
{
    for (const HelpTopic& topic : topics_) contents_->addItem(topic.title);
}

void TvexHelpForm::BuildIndex()
{
    // Every keyword and every title, in alphabetical order, each leading to its page.
    std::map<QString, QString> entries;
    for (const HelpTopic& topic : topics_) {
        entries.emplace(topic.title, topic.page);
        for (const QString& keyword : topic.keywords) entries.emplace(keyword, topic.page);
    }
    std::vector<std::pair<QString, QString>> sorted(entries.begin(), entries.end());
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0; });
    for (const auto& [text, page] : sorted) {
        auto* item = new QListWidgetItem(text, index_);
        item->setData(Qt::UserRole, page);
    }
}

void TvexHelpForm::FilterIndex(const QString& text)
{
    QListWidgetItem* first = nullptr;
    for (int i = 0; i < index_->count(); ++i) {
        QListWidgetItem* item = index_->item(i);
        bool match = item->text().contains(text, Qt::CaseInsensitive);
        item->setHidden(!match);
        if (match && !first) first = item;
    }
    if (first) index_->setCurrentItem(first);
}

void TvexHelpForm::OpenPage(const QString& page)
{
    browser_->setSource(QUrl(QStringLiteral("qrc:/help/") + page));
    for (size_t i = 0; i < topics_.size(); ++i)
        if (topics_[i].page == page) {
            QSignalBlocker block(contents_);
            contents_->setCurrentRow(static_cast<int>(i));
        }
}

QString TvexHelpForm::CurrentPage() const
{
    return browser_->source().fileName();
}

void TvexHelpForm::Present()
{
    // Opened from a modal dialog, the help window must belong to it to take input.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && parentWidget() != modal) setParent(modal, Qt::Window);
    if (!isVisible()) {
        // Centred over the window it helps with, or on the screen.
        QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
        QScreen* screen = QGuiApplication::primaryScreen();
        QRect area = over ? over->frameGeometry() : screen ? screen->availableGeometry() : QRect();
        if (area.isValid()) move(area.center() - rect().center());
    }
    show();
    raise();
    activateWindow();
}

void TvexHelpForm::ShowContents()
{
    tabs_->setCurrentIndex(0);
    if (browser_->source().isEmpty() && !topics_.empty()) OpenPage(topics_.front().page);
    Present();
}

void TvexHelpForm::ShowIndex(const QString& keyword)
{
    tabs_->setCurrentIndex(1);
    indexSearch_->setText(keyword);
    FilterIndex(keyword);
    if (browser_->source().isEmpty() && !topics_.empty()) OpenPage(topics_.front().page);
    Present();
    indexSearch_->setFocus();
}

bool TvexHelpForm::ShowKeyword(const QString& keyword)
{
    for (const HelpTopic& topic : topics_)
        for (const QString& candidate : topic.keywords + topic.keys)
            if (candidate.compare(keyword, Qt::CaseInsensitive) == 0) {
                OpenPage(topic.page);
                Present();
                return true;
            }
    return false;
}

TvexHelpForm* HelpWindow()
{
    static QPointer<TvexHelpForm> window;
    if (!window) {
        window = new TvexHelpForm(QApplication::activeWindow());
        window->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    return window;
}

void HelpContents()
{
    HelpWindow()->ShowContents();
}
void HelpIndex(const QString& keyword)
{
    HelpWindow()->ShowIndex(keyword);
}
bool HelpKeyword(const QString& keyword)
{
    return HelpWindow()->ShowKeyword(keyword);
}

}  // namespace vex
