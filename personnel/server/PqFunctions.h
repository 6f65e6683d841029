#pragma once

#include <filesystem>
#include <libpq-fe.h>
#include <memory>

namespace pelvaro {

class SharedLibrary;

// The entry points of libpq that the server table calls.
struct PqFunctions {
    decltype(&PQconninfoParse) conninfoParse = nullptr;
    decltype(&PQconninfoFree) conninfoFree = nullptr;
    decltype(&PQconnectdbParams) connectdbParams = nullptr;
    decltype(&PQstatus) status = nullptr;
    decltype(&PQerrorMessage) errorMessage = nullptr;
    decltype(&PQconnectionNeedsPassword) connectionNeedsPassword = nullptr;
    decltype(&PQconnectionUsedPassword) connectionUsedPassword = nullptr;
    decltype(&PQsetNoticeProcessor) setNoticeProcessor = nullptr;
    decltype(&PQfinish) finish = nullptr;
    decltype(&PQexec) exec = nullptr;
    decltype(&PQexecParams) execParams = nullptr;
    decltype(&PQresultStatus) resultStatus = nullptr;
    decltype(&PQresultErrorField) resultErrorField = nullptr;
    decltype(&PQntuples) ntuples = nullptr;
    decltype(&PQgetvalue) getvalue = nullptr;
    decltype(&PQclear) clear = nullptr;
    decltype(&PQsocket) socket = nullptr;
    decltype(&PQconsumeInput) consumeInput = nullptr;
    decltype(&PQnotifies) notifies = nullptr;
    decltype(&PQfreemem) freemem = nullptr;
};

// Each platform's own (PqLibraryFiles_*.cpp): where libpq comes from, why
// there is none, and where libpq looks for passwords.
std::unique_ptr<SharedLibrary> loadPqLibraryFile(const std::filesystem::path& programDirectory);
extern const char* const kPqLibraryMissingText;
extern const char* const kPqPasswordFileText;

} // namespace pelvaro
