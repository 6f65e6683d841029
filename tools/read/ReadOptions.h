#pragma once

#include "output/OutputTemplate.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelvaro::readtool {

struct ReadOptions {
    int portNumber = 0;     // COM port number, looked up in the port mapping
    std::string devicePath; // or a device given by its path
    int cardLength = 10;
    bool hitagInverse = true;
    bool help = false;      // explain the options and end
    bool reconnect = false; // wait for a lost reader to come back instead of ending
    bool type = false;      // type each code into the focused window instead of printing it
    bool enter = false;     // with type: ENTER after each code
    bool personnel = false; // with type: the personnel number stored for the card
    std::string backend;    // with type: the keystroke backend to use, or the first that works
    OutputTemplate outputTemplate;       // the text printed or typed for each card
    std::chrono::seconds repeatGuard{0}; // the card given out last is held back this long
    std::filesystem::path logFile;       // a line per card read appended here, or none
    std::vector<std::string> deliverTo;  // each card read also goes to these targets
    std::filesystem::path secretFile;    // with deliverTo: the targets' secret, its first line
    std::filesystem::path caFile;        // with deliverTo: TLS trusts this CA, not the system's
    std::filesystem::path outbox;        // with deliverTo: empty for the one in the data folder
    size_t batch = 100;                  // with deliverTo: events per HTTP request in a backlog
    std::string database;                // the server's personnel table by its libpq URI, or none
};

// Parses the command line (without the program name). On a mistake returns
// nothing and puts a message for the user into error.
std::optional<ReadOptions> parseReadOptions(const std::vector<std::string>& arguments,
                                            std::string& error);

extern const char kReadUsage[];

} // namespace pelvaro::readtool
