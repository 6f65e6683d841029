#include "fileio/UserOnlySecurity_win32.h"

#include <sddl.h>
#include <vector>

namespace pelvaro {

std::wstring processUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    std::wstring text;
    LPWSTR sid = nullptr;
    if (size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}

UserOnlySecurity::UserOnlySecurity() {
    const std::wstring user = processUserSid();
    if (user.empty())
        return;
    // P: protected, nothing inherited; FA: full access; SY: SYSTEM.
    const std::wstring descriptor = L"D:P(A;;FA;;;" + user + L")(A;;FA;;;SY)";
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            descriptor.c_str(), SDDL_REVISION_1, &attributes_.lpSecurityDescriptor, nullptr))
        attributes_.lpSecurityDescriptor = nullptr;
}

UserOnlySecurity::~UserOnlySecurity() {
    LocalFree(attributes_.lpSecurityDescriptor);
}

} // namespace pelvaro
