// Opens the outbox named on the command line and holds it until killed,
// saying on standard output whether it could: a second process for the tests.

#include "delivery/Outbox.h"
#include "personnel/SqliteLibrary.h"
#include "tests/personnel/SqliteLibraryFiles.h"

#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    auto opened = pelvaro::Outbox::open(
        pelvaro::BindSqliteLibrary(pelvaro::test::programsDirectory()).library, argv[1],
        {"http://x"});
    if (auto* reason = std::get_if<std::string>(&opened)) {
        std::printf("%s\n", reason->c_str());
        return 1;
    }
    std::printf("offen\n");
    std::fflush(stdout);
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}
