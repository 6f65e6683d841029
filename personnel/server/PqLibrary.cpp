#include "personnel/server/PqLibrary.h"

#include "personnel/SharedLibrary.h"
#include "personnel/server/PqFunctions.h"

namespace pelvaro {

namespace {

// Resolves every entry point; the first one missing makes the library unusable.
class Resolver {
public:
    explicit Resolver(const SharedLibrary& library) : library_(library) {}

    template <typename Function> void resolve(Function& slot, const char* name) {
        slot = reinterpret_cast<Function>(library_.symbol(name));
        if (!slot && missing.empty())
            missing = name;
    }

    std::string missing;

private:
    const SharedLibrary& library_;
};

PqBinding bindEntryPoints(std::unique_ptr<SharedLibrary> library) {
    Resolver resolver(*library);
    auto functions = std::make_unique<PqFunctions>();
    resolver.resolve(functions->conninfoParse, "PQconninfoParse");
    resolver.resolve(functions->conninfoFree, "PQconninfoFree");
    resolver.resolve(functions->connectdbParams, "PQconnectdbParams");
    resolver.resolve(functions->status, "PQstatus");
    resolver.resolve(functions->errorMessage, "PQerrorMessage");
    resolver.resolve(functions->connectionNeedsPassword, "PQconnectionNeedsPassword");
    resolver.resolve(functions->connectionUsedPassword, "PQconnectionUsedPassword");
    resolver.resolve(functions->setNoticeProcessor, "PQsetNoticeProcessor");
    resolver.resolve(functions->finish, "PQfinish");
    resolver.resolve(functions->exec, "PQexec");
    resolver.resolve(functions->execParams, "PQexecParams");
    resolver.resolve(functions->resultStatus, "PQresultStatus");
    resolver.resolve(functions->resultErrorField, "PQresultErrorField");
    resolver.resolve(functions->ntuples, "PQntuples");
    resolver.resolve(functions->getvalue, "PQgetvalue");
    resolver.resolve(functions->clear, "PQclear");
    resolver.resolve(functions->socket, "PQsocket");
    resolver.resolve(functions->consumeInput, "PQconsumeInput");
    resolver.resolve(functions->notifies, "PQnotifies");
    resolver.resolve(functions->freemem, "PQfreemem");
    if (!resolver.missing.empty())
        return {nullptr, "Die Bibliothek " + library->file().filename().string() +
                             " ist zu alt: ihr fehlt " + resolver.missing + "."};
    // libpq gives OpenSSL a BIO method of its own, made once and kept in its
    // static data: unloaded, it would leave that behind.
    library->stayLoaded();
    return {std::make_shared<const PqLibrary>(std::move(library), std::move(functions)), {}};
}

} // namespace

PqLibrary::PqLibrary(std::unique_ptr<SharedLibrary> file,
                     std::unique_ptr<const PqFunctions> functions)
    : file_(std::move(file)), functions_(std::move(functions)) {}

PqLibrary::~PqLibrary() = default;

PqBinding BindPqLibrary(const std::filesystem::path& programDirectory) {
    if (auto library = loadPqLibraryFile(programDirectory))
        return bindEntryPoints(std::move(library));
    return {nullptr, kPqLibraryMissingText};
}

} // namespace pelvaro
