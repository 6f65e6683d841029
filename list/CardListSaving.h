#pragma once

#include "ModeHost.h"

#include <QObject>

namespace pelvaro {

class CardList;
class ListReadSession;

// Saving the card list as a text file and clearing it, with the questions
// that go with both.
class CardListSaving : public QObject {
    Q_OBJECT

public:
    CardListSaving(ModeHost& host, CardList& cards, ListReadSession& session, QObject* parent);

    // Asks for a file and writes the list; ListSaved tells whether it did.
    void SaveCardList();
    void AskSaveAndClear();
    void ClearCardList();
    void ButtonExportClick();
    void ButtonClearClick();

    bool ListSaved = false;

private:
    ModeHost& host_;
    CardList& cards_;
    ListReadSession& session_;
};

} // namespace pelvaro
