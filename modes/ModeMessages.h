#pragma once

#include "reader/PortFailureTexts.h"

#include <QString>

namespace pelvaro {

// What the activity panel says while a read waits, and after a card.
inline const QString kWaitingForCard = QStringLiteral("Warte auf Karte...");
inline const QString kCardReadWaiting = QStringLiteral("Karte gelesen, Warte auf Karte...");

// The port panel: the configured port, or none.
inline QString portStatusText(int portNumber) {
    return portNumber != 0 ? QString::asprintf("Port: Com %02d", portNumber)
                           : QStringLiteral("Port: NA");
}

// The failures every read reports about its port, with the port's number.
inline QString portOpenFailureText(int portNumber) {
    return QString::asprintf(kPortOpenFailure, portNumber);
}

inline QString portCloseFailureText(int portNumber) {
    return QString::asprintf(kPortCloseFailure, portNumber);
}

} // namespace pelvaro
