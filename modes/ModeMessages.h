#pragma once

#include "reader/PortFailureTexts.h"
#include "reader/PortProblem.h"

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

// Why the port did not open, for the tip of the port panel after a failed
// start, and of the port list when it lacks the configured port.
inline QString portNotOpenedTip(const PortProblem& problem) {
    return QStringLiteral("Nicht geöffnet: ") + QString::fromStdString(portProblemText(problem));
}

inline QString portNotListedTip(int portNumber, const PortProblem& problem) {
    return QStringLiteral("Com%1 fehlt in der Liste: ").arg(portNumber) +
           QString::fromStdString(portProblemText(problem));
}

} // namespace pelvaro
