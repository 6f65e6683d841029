#pragma once

#include "list/CardListFile.h"
#include "modes/ModeHost.h"

#include <QObject>
#include <QString>
#include <vector>

class QCheckBox;
class QMenu;
class QPoint;
class QTreeWidget;
class QTreeWidgetItem;

namespace pelvaro {

// The card list on the first page: one row per accepted card with its label
// and code, labels by running number or typed into the label prompt, and the
// row operations of its pop-up menu.
class CardList : public QObject {
    Q_OBJECT

public:
    CardList(ModeHost& host, QTreeWidget& list, QCheckBox& autoNumbering, QMenu& popup);

    // Appends the code as a new row, labelled by number or by the user; its label.
    QString AddListEntry(const QString& code);
    void Zeilelschen1Click();
    void Zeilendern1Click();
    // Removes every row; the numbering goes on where it stood.
    void clearEntries();
    // An empty list whose numbering starts at 1 again.
    void restart();

    // Cards added since the list was last cleared; deleting a row does not lower it.
    int entryCount() const { return EntryCount; }
    int rowCount() const;
    // Label and code of every row, first to last.
    std::vector<CardListRow> rows() const;

private:
    QTreeWidgetItem* selectedRow() const;
    void showPopup(const QPoint& position);

    int EntryCount = 0;
    int AutoNumberCounter = 0;
    QString CurrentLabel;
    ModeHost& host_;
    QTreeWidget& list_;
    QCheckBox& autoNumbering_;
    QMenu& popup_;
};

} // namespace pelvaro
