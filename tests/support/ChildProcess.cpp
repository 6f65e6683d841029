#include "tests/support/ChildProcess.h"

#include "tests/support/Polling.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pelvaro::test {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    return static_cast<int>(timeLeft(deadline).count());
}

std::vector<char*> pointersTo(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const std::string& text : strings)
        pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& command,
                           const std::optional<std::vector<std::string>>& environment) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    std::vector<char*> argv = pointersTo(command);
    std::vector<char*> envp = environment ? pointersTo(*environment) : std::vector<char*>{};
    const int failed = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(),
                                    environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
    if (failed != 0)
        throw std::runtime_error("cannot start " + command.front());
}

ChildProcess::~ChildProcess() {
    if (!status_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const size_t newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        pollfd readable{out_, POLLIN, 0};
        if (poll(&readable, 1, millisecondsLeft(deadline)) <= 0)
            return std::nullopt;
        char buffer[256];
        const ssize_t got = read(out_, buffer, sizeof buffer);
        if (got <= 0)
            return std::nullopt;
        pending_.append(buffer, static_cast<size_t>(got));
    }
}

std::string ChildProcess::errorOutput() {
    std::string text;
    char buffer[256];
    ssize_t got;
    while ((got = read(err_, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(got));
    return text;
}

void ChildProcess::signal(int number) {
    kill(pid_, number);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    return pollEvery(
        [&] {
            int raw = 0;
            if (!status_ && waitpid(pid_, &raw, WNOHANG) == pid_)
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
            return status_;
        },
        std::chrono::milliseconds(5), timeout);
}

std::vector<std::string> environmentWith(const std::vector<std::string>& settings) {
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        const bool replaced = std::any_of(settings.begin(), settings.end(), [&](const auto& set) {
            return nameOf(set) == nameOf(variable);
        });
        if (!replaced)
            variables.push_back(variable);
    }
    variables.insert(variables.end(), settings.begin(), settings.end());
    return variables;
}

} // namespace pelvaro::test
