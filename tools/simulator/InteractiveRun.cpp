#include "tools/simulator/InteractiveRun.h"

#include "tools/simulator/TerminalMode.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <thread>
#include <unistd.h>
#include <utility>

namespace pelvaro::sim {

namespace {

const char kHelp[] = "Tasten: 1-9 Karte vorhalten, v Karte 1 in drei Sekunden vorhalten,\n"
                     "        s Karte entfernt (Status e2),\n"
                     "        b nächste Karte mit falscher Prüfsumme, g Störbytes und Karte 1,\n"
                     "        c abgebrochener Rahmen, h Leitung trennen und beenden, q beenden";

constexpr auto kDelayBeforeCard = std::chrono::seconds(3);

constexpr std::array<std::array<uint8_t, 5>, 9> kDemoCards = {{
    {0x12, 0x34, 0x56, 0x78, 0x9A},
    {0x0A, 0x1B, 0x2C, 0x3D, 0x4E},
    {0x10, 0x03, 0x10, 0x10, 0x02}, // DLE, ETX and STX in the data: the reader doubles each DLE
    {0x00, 0x00, 0x00, 0x00, 0x01},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    {0x01, 0x23, 0x45, 0x67, 0x89},
    {0xAB, 0xCD, 0xEF, 0x01, 0x23},
    {0x55, 0xAA, 0x55, 0xAA, 0x55},
    {0x98, 0x76, 0x54, 0x32, 0x10},
}};

class KeySession {
public:
    KeySession(ReaderSimulator& reader, EventReport& report) : reader_(reader), report_(report) {}

    // False when the session ends.
    bool handle(char key) {
        if (key >= '1' && key <= '9') {
            sendCard(key - '0', std::exchange(nextFault_, Fault::None));
            return true;
        }
        switch (key) {
        case 'v':
            // Time to put the keyboard focus into another program, where
            // redirect mode types the code.
            report_.line("Karte 1 in drei Sekunden");
            std::this_thread::sleep_for(kDelayBeforeCard);
            sendCard(1, Fault::None);
            return true;
        case 's':
            report_.frameSent("Status e2 (Karte entfernt)", Fault::None,
                              reader_.sendStatus('e', '2'));
            return true;
        case 'b':
            nextFault_ = Fault::BadCheck;
            report_.line("Nächste Karte mit falscher Prüfsumme");
            return true;
        case 'g':
            sendCard(1, Fault::Garbage);
            return true;
        case 'c':
            sendCard(1, Fault::CutOff);
            return true;
        case 'h':
            reader_.hangUp();
            report_.line("Leitung getrennt");
            return false;
        case 'q':
            return false;
        default:
            report_.line(std::string("Unbekannte Taste '") + key + "'\n" + kHelp);
            return true;
        }
    }

private:
    void sendCard(int number, Fault fault) {
        const auto& card = kDemoCards[static_cast<size_t>(number - 1)];
        report_.frameSent(cardLabel(number, card), fault, reader_.sendCard(card, 1, fault));
    }

    ReaderSimulator& reader_;
    EventReport& report_;
    Fault nextFault_ = Fault::None;
};

} // namespace

int runInteractive(ReaderSimulator& reader, EventReport& report) {
    const TerminalMode keys(STDIN_FILENO);
    report.line(kHelp);
    KeySession session(reader, report);
    for (;;) {
        char key = 0;
        const ssize_t got = ::read(STDIN_FILENO, &key, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return 0;
        if (std::isspace(static_cast<unsigned char>(key)))
            continue;
        if (!session.handle(key))
            return 0;
    }
}

} // namespace pelvaro::sim
