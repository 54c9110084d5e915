// What the preset and batch managers share: a dialog over a working copy of a list of named
// records, with Add, Delete and Rename for its records and OK, Cancel and Help to close it. A
// new name is cut to the record's name field and may not be taken by another record; OK hands
// the copy to the configuration and rewrites the file, Cancel drops it.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <string>

class QPushButton;

namespace kn {

class TKNConfig;

// The wording and limits that tell one manager from the other.
struct TKNNamedListTexts {
    QString Noun;        // "preset": fills the captions and messages
    QString PluralNoun;  // "presets": fills the message when the file cannot be written
    QString FirstName;   // offered by Add
    QString HelpKeyword;
    std::size_t NameMaxBytes = 0;  // the record's name field without its terminating NUL
    int AddMaxLength = 0;          // input box limits in characters; 0 is none
    int RenameMaxLength = 0;
};

class TKNNamedListEdit : public QDialog {
    Q_OBJECT

public:
    QPushButton* btnAdd = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnRename = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnHelp = nullptr;

protected:
    TKNNamedListEdit(TKNConfig& config, TKNNamedListTexts texts, QWidget* parent);

    // The button row, wired to the handlers below; `names` is the view of the record names
    // whose current item Delete and Rename act on.
    QWidget* CreateButtons(QListWidget* names);

    // Shows the names of `list` in `view`; returns the row captioned exactly `select`, else 0.
    template <class List>
    static int ShowNames(QListWidget* view, const List& list, const QString& select)
    {
        view->clear();
        int chosen = 0;
        for (int i = 0; i < list.Count(); ++i) {
            QString caption = QString::fromStdString(list.Names(i));
            view->addItem(caption);
            if (caption == select) chosen = i;
        }
        return chosen;
    }

    // The working list as each manager keeps it.
    virtual bool NameTaken(const std::string& name) const = 0;
    // Adds a record named `name` holding what the dialog shows now.
    virtual void AddRecord(const std::string& name) = 0;
    virtual void DeleteRecord(int row) = 0;
    virtual void RenameRecord(int row, const std::string& name) = 0;
    // Hands the working list to the configuration; false when the file could not take it.
    virtual bool StoreList() = 0;
    // Shows the working list, selecting the item captioned exactly `select` (else the first).
    virtual void FillList(const QString& select) = 0;

    TKNConfig& FConfig;

private:
    void btnAddClick();
    void btnDeleteClick();
    void btnRenameClick();
    void btnOkClick();
    // The entered name cut to the name field; empty (after an error box) when it may not be used.
    std::string AcceptableName(const QString& entered, const QString& currentCaption);

    TKNNamedListTexts FTexts;
    QListWidget* FNames = nullptr;
};

}  // namespace kn
