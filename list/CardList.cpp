#include "list/CardList.h"

#include <QCheckBox>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QTreeWidget>

namespace pelvaro {

namespace {

constexpr int kLabelColumn = 0;
constexpr int kCodeColumn = 1;

// The code column cannot be edited; the label column can, in place.
class ReadOnlyColumn final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget*, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        return nullptr;
    }
};

} // namespace

CardList::CardList(ModeHost& host, QTreeWidget& list, QCheckBox& autoNumbering, QMenu& popup)
    : QObject(&list), host_(host), list_(list), autoNumbering_(autoNumbering), popup_(popup) {
    list_.setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    list_.setItemDelegateForColumn(kCodeColumn, new ReadOnlyColumn(&list_));
    connect(&list_, &QTreeWidget::itemDoubleClicked, this, &CardList::Zeilendern1Click);
    connect(&list_, &QWidget::customContextMenuRequested, this, &CardList::showPopup);
}

QString CardList::AddListEntry(const QString& code) {
    if (autoNumbering_.isChecked()) {
        ++AutoNumberCounter;
        CurrentLabel = QString::asprintf("%04d", AutoNumberCounter);
    } else {
        const auto typed =
            host_.dialogs().promptText(QStringLiteral("Eingabe Aufdruck"),
                                       QStringLiteral("Aufdruck eingeben(max.30):"), std::nullopt);
        CurrentLabel = typed ? *typed : QStringLiteral("unbekannt");
    }
    auto* row = new QTreeWidgetItem(QStringList{CurrentLabel, code});
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    list_.addTopLevelItem(row);
    ++EntryCount;
    return CurrentLabel;
}

void CardList::Zeilelschen1Click() {
    delete selectedRow();
}

void CardList::Zeilendern1Click() {
    QTreeWidgetItem* row = selectedRow();
    if (!row)
        return;
    const auto typed = host_.dialogs().promptText(QStringLiteral("Eingabe Personalnummer"),
                                                  QStringLiteral("Personalnummer ändern(max. 30):"),
                                                  row->text(kLabelColumn));
    if (typed)
        row->setText(kLabelColumn, *typed);
}

void CardList::clearEntries() {
    list_.clear();
    EntryCount = 0;
}

void CardList::restart() {
    clearEntries();
    AutoNumberCounter = 0;
}

int CardList::rowCount() const {
    return list_.topLevelItemCount();
}

std::vector<CardListRow> CardList::rows() const {
    std::vector<CardListRow> all;
    all.reserve(static_cast<size_t>(rowCount()));
    for (int i = 0; i < rowCount(); ++i) {
        const QTreeWidgetItem* row = list_.topLevelItem(i);
        all.emplace_back(row->text(kLabelColumn).toStdString(),
                         row->text(kCodeColumn).toStdString());
    }
    return all;
}

QTreeWidgetItem* CardList::selectedRow() const {
    const auto selected = list_.selectedItems();
    return selected.isEmpty() ? nullptr : selected.constFirst();
}

void CardList::showPopup(const QPoint& position) {
    popup_.popup(list_.viewport()->mapToGlobal(position));
}

} // namespace pelvaro
