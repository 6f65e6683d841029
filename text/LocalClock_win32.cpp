#include "text/LocalClock.h"

#include <windows.h>

namespace pelvaro {

LocalDateTime localTimeNow() {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

} // namespace pelvaro
