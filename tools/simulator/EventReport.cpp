#include "tools/simulator/EventReport.h"

#include "reader/MessageDecoding.h"

#include <cstdio>

namespace pelvaro::sim {

namespace {

std::string_view faultText(Fault fault) {
    switch (fault) {
    case Fault::None:
        return "";
    case Fault::BadCheck:
        return " mit falscher Prüfsumme";
    case Fault::AlwaysBadCheck:
        return " mit stets falscher Prüfsumme";
    case Fault::Garbage:
        return " nach Störbytes";
    case Fault::CutOff:
        return " abgebrochen";
    }
    return "";
}

std::string times(int count, std::string_view what) {
    return (count == 1 ? std::string() : std::to_string(count) + "-mal ") + std::string(what);
}

std::string outcomeText(const SendOutcome& outcome) {
    if (outcome.transmissions == 0)
        return "nicht gesendet, die Leitung ist getrennt";
    std::string text;
    if (outcome.naks > 0)
        text += times(outcome.naks, "NAK") + ", ";
    if (outcome.transmissions > 1)
        text += times(outcome.transmissions - 1, "wiederholt") + ", ";
    if (outcome.acknowledged)
        return text + "quittiert";
    if (outcome.naks == outcome.transmissions)
        return text + "aufgegeben";
    return text + "keine Antwort";
}

std::string printable(std::span<const uint8_t> bytes) {
    std::string text;
    for (const uint8_t byte : bytes) {
        if (byte >= 0x20 && byte < 0x7F) {
            text += static_cast<char>(byte);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
    }
    return text;
}

} // namespace

void EventReport::line(std::string_view text) {
    std::lock_guard lock(mutex_);
    out_ << text << std::endl;
}

void EventReport::frameSent(std::string_view what, Fault fault, const SendOutcome& outcome) {
    line(std::string(what) + std::string(faultText(fault)) + ": " + outcomeText(outcome));
}

void EventReport::requestReceived(std::span<const uint8_t> payload, bool answered) {
    line("Anfrage '" + printable(payload) + "' " +
         (answered ? "beantwortet" : "nicht beantwortet"));
}

std::string cardLabel(int number, std::span<const uint8_t> data) {
    std::string hex(2 * data.size(), '0');
    toHexText(hex.data(), data.data(), data.size());
    return "Karte " + std::to_string(number) + " (" + hex + ")";
}

} // namespace pelvaro::sim
