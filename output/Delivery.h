#pragma once

#include <string>

namespace pelvaro {

// What became of a card's text given out, as the repeat guard and the read
// log learn it. The defaults are a text printed.
struct Delivery {
    // Went out whole: a repeat of it may be held back.
    bool whole = true;
    // The read log's "Ergebnis", as "getippt" or "teilweise getippt: <Grund>".
    std::string outcome = "ausgegeben";
};

// The outcome as the user is told of a text not given out whole.
std::string deliveryTroubleText(const Delivery& delivery);

} // namespace pelvaro
