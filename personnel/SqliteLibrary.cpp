#include "personnel/SqliteLibrary.h"

#include "personnel/SharedLibrary.h"

namespace pelvaro {

namespace {

// Looks up entry points one after another and keeps a message for each one missing.
class Resolver {
public:
    explicit Resolver(const SharedLibrary* library) : library_(library) {}

    template <typename Function> void resolve(Function& slot, const char* name) {
        slot = reinterpret_cast<Function>(find(name));
    }

    // An entry point that is never called, yet reported when missing as it always was.
    void require(const char* name) { find(name); }

    std::vector<std::string> messages;

private:
    void* find(const char* name) {
        void* address = library_ ? library_->symbol(name) : nullptr;
        if (!address)
            messages.push_back(std::string("Error funktion not found.\n\"") + name + "\"");
        return address;
    }

    const SharedLibrary* library_;
};

// Resolves the entry points of a loaded library (or of none, reporting all).
SqliteBinding bindEntryPoints(std::unique_ptr<SharedLibrary> library) {
    Resolver resolver(library.get());
    SqliteFunctions functions;
    resolver.resolve(functions.open, "sqlite3_open");
    resolver.resolve(functions.close, "sqlite3_close");
    resolver.require("sqlite3_errcode");
    resolver.require("sqlite3_errmsg");
    resolver.resolve(functions.exec, "sqlite3_exec");
    resolver.resolve(functions.prepare, "sqlite3_prepare");
    resolver.resolve(functions.step, "sqlite3_step");
    resolver.require("sqlite3_column_int");
    resolver.require("sqlite3_reset");
    resolver.resolve(functions.columnText, "sqlite3_column_text");
    resolver.require("sqlite3_get_autocommit");
    resolver.resolve(functions.finalize, "sqlite3_finalize");
    resolver.require("sqlite3_free_table");
    resolver.require("sqlite3_get_table");
    resolver.resolve(functions.bindText, "sqlite3_bind_text");

    // With any entry point missing the features stay off, so none is ever called.
    if (!resolver.messages.empty())
        return {nullptr, std::move(resolver.messages)};
    return {std::make_shared<const SqliteLibrary>(std::move(library), functions), {}};
}

} // namespace

SqliteLibrary::SqliteLibrary(std::unique_ptr<SharedLibrary> file, const SqliteFunctions& functions)
    : file_(std::move(file)), functions_(functions) {}

SqliteLibrary::~SqliteLibrary() = default;

void* SqliteLibrary::symbol(const char* name) const {
    return file_->symbol(name);
}

std::filesystem::path SqliteLibrary::file() const {
    return file_->file();
}

SqliteBinding BindSqliteLibrary(const std::filesystem::path& programDirectory,
                                SqliteSource source) {
    const std::filesystem::path file = programDirectory / kSqliteLibraryFile;
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status))
        return bindEntryPoints(SharedLibrary::load(file));
    if (source == SqliteSource::ProgramDirectoryOrSystem)
        if (auto installed = SharedLibrary::loadInstalled(kInstalledSqliteLibrary))
            return bindEntryPoints(std::move(installed));
    return {};
}

SqliteBinding BindSqliteLibrary(const FileLocations& files) {
    return BindSqliteLibrary(files.programDirectory, files.besideProgram
                                                         ? SqliteSource::ProgramDirectory
                                                         : SqliteSource::ProgramDirectoryOrSystem);
}

} // namespace pelvaro
