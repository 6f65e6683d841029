#pragma once

#include "modes/ModeHost.h"
#include "modes/PersonnelPage.h"

#include <QObject>

namespace pelvaro {

class CardList;
class ListReadSession;

// Saving the card list as a text file and clearing it, with the questions
// that go with both.
class CardListSaving : public QObject {
    Q_OBJECT

public:
    CardListSaving(ModeHost& host, CardList& cards, ListReadSession& session,
                   PersonnelPage& personnel, QObject* parent);

    // Asks for a file and writes the list; whether it did.
    bool SaveCardList();
    // The question "Kartenliste speichern?"; the list is cleared when it was
    // saved or the answer was No. Whether it was.
    bool AskSaveAndClear();
    void ClearCardList();
    void ButtonExportClick();
    void ButtonClearClick();

private:
    ModeHost& host_;
    CardList& cards_;
    ListReadSession& session_;
    PersonnelPage& personnel_;
};

} // namespace pelvaro
