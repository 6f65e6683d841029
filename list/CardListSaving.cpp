#include "list/CardListSaving.h"

#include "list/CardList.h"
#include "list/CardListFile.h"
#include "list/ListReadSession.h"

#include <QDir>
#include <QFileInfo>

namespace pelvaro {

CardListSaving::CardListSaving(ModeHost& host, CardList& cards, ListReadSession& session,
                               PersonnelPage& personnel, QObject* parent)
    : QObject(parent), host_(host), cards_(cards), session_(session), personnel_(personnel) {}

bool CardListSaving::SaveCardList() {
    const auto chosen =
        host_.dialogs().saveFileName(QStringLiteral("Kartenliste speichern unter"),
                                     QStringLiteral("Text files (*.txt)"), QStringLiteral("txt"));
    if (!chosen)
        return false;
    const QString path = QFileInfo(*chosen).absoluteFilePath();
    if (QFileInfo::exists(path) &&
        host_.dialogs().question(QStringLiteral("Datei überschreiben?")) != DialogAnswer::Yes)
        return false;
    // The old file is replaced only by a complete new one.
    const bool ListSaved =
        writeCardListFile(std::filesystem::path(path.toStdU16String()), cards_.rows());
    if (!ListSaved)
        host_.dialogs().error(QStringLiteral("Die Datei '") + QDir::toNativeSeparators(path) +
                              QStringLiteral("' konnte nicht gespeichert werden."));
    return ListSaved;
}

bool CardListSaving::AskSaveAndClear() {
    // No counts as saved: the list goes without a file.
    const bool ListSaved =
        host_.dialogs().question(QStringLiteral("Kartenliste speichern?")) != DialogAnswer::Yes ||
        SaveCardList();
    if (ListSaved)
        ClearCardList();
    return ListSaved;
}

void CardListSaving::ClearCardList() {
    cards_.clearEntries();
    personnel_.FillPersonnelGrid();
    session_.forgetLastAccepted();
}

void CardListSaving::ButtonExportClick() {
    SaveCardList();
    if (host_.dialogs().question(QStringLiteral("Liste in Anzeige löschen? ")) == DialogAnswer::Yes)
        ClearCardList();
}

void CardListSaving::ButtonClearClick() {
    host_.setStatusPanel(StatusPanel::Activity, QStringLiteral(" "));
    if (cards_.entryCount() == 0 && cards_.rowCount() == 0)
        return;
    AskSaveAndClear();
}

} // namespace pelvaro
