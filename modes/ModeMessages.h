#pragma once

#include "reader/PortFailureTexts.h"

#include <QString>

namespace pelvaro {

// The failures every read reports about its port, with the port's number.
inline QString portOpenFailureText(int portNumber) {
    return QString::asprintf(kPortOpenFailure, portNumber);
}

inline QString portCloseFailureText(int portNumber) {
    return QString::asprintf(kPortCloseFailure, portNumber);
}

} // namespace pelvaro
