// A PostgresServer for tests outside this build (the Windows build's under
// wine): prints "port", "pgpass" and "ca" with their values, a line each,
// and keeps the server until its standard input closes or it is told to end.

#include "tests/support/PostgresServer.h"

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t ending = 0;

void onSignal(int) {
    ending = 1;
}

} // namespace

int main() {
    // Without SA_RESTART, so that the wait below ends at once.
    struct sigaction action = {};
    action.sa_handler = onSignal;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);

    const pelvaro::test::PostgresServer server;
    std::printf("port %d\npgpass %s\nca %s\n", server.port(), server.pgpassFile().c_str(),
                server.certificate("ca.pem").c_str());
    std::fflush(stdout);

    pollfd input = {STDIN_FILENO, POLLIN, 0};
    char buffer[256];
    while (!ending) {
        if (poll(&input, 1, 1000) > 0 && read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            break;
    }
    return 0;
}
