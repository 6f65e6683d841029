#include "tools/read/ReadPlatform.h"

#include <csignal>
#include <grp.h>
#include <sys/stat.h>

namespace pelvaro::readtool {

namespace {

volatile std::sig_atomic_t stopSignalled = 0;

void requestStop(int) {
    stopSignalled = 1;
}

// The group that may open the device, as its node says (usually dialout).
std::string owningGroup(const std::string& devicePath) {
    struct stat node {};
    if (stat(devicePath.c_str(), &node) != 0)
        return "dialout";
    const group* owner = getgrgid(node.st_gid);
    return owner ? owner->gr_name : std::to_string(node.st_gid);
}

} // namespace

std::string permissionAdvice(const std::string& devicePath) {
    const std::string group = owningGroup(devicePath);
    return " Der Benutzer muss in der Gruppe '" + group + "' sein (sudo adduser $USER " + group +
           ", dann neu anmelden).";
}

void useUtf8Console() {} // terminals take UTF-8 as it is

void catchStopRequests() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() {
    return stopSignalled != 0;
}

} // namespace pelvaro::readtool
