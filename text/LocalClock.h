#pragma once

#include "text/DateTimeText.h"

namespace pelvaro {

// Now, on the local clock.
LocalDateTime localTimeNow();

} // namespace pelvaro
