#pragma once

#include <string>
#include <windows.h>

namespace pelvaro {

// The SID of the user the process runs as, in its string form; empty if the
// process token cannot be read.
std::wstring processUserSid();

// What CreateFileW gives a file made anew that only the user running the
// program and SYSTEM (backups, the indexer) may open: a protected DACL, so
// that nothing the folder passes on is added to it.
class UserOnlySecurity {
public:
    UserOnlySecurity();
    ~UserOnlySecurity();
    UserOnlySecurity(const UserOnlySecurity&) = delete;
    UserOnlySecurity& operator=(const UserOnlySecurity&) = delete;

    // Null when the user could not be told from the process token; the file
    // then gets what the folder passes on, as any other.
    SECURITY_ATTRIBUTES* attributes() {
        return attributes_.lpSecurityDescriptor ? &attributes_ : nullptr;
    }

private:
    SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

} // namespace pelvaro
