#pragma once

#include <string>

namespace pelvaro::sim {

// Both sides of a pseudo-terminal. The slave is raw and stays open here for
// the terminal's whole life, so that the program under test may close and
// reopen its own slave handle without the master seeing a hang-up. The master
// runs in packet mode: a read returns either data after a zero byte or one
// byte of queue events (the program emptying its queues, as it does on open).
class PseudoTerminal {
public:
    PseudoTerminal(); // throws std::runtime_error
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    // Closes both sides: the program's handle on the slave sees the line go away.
    void close();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace pelvaro::sim
