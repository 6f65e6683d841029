#pragma once

#include "fileio/FileLocations.h"

#include <filesystem>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace pelvaro {

class SharedLibrary;

// The library's file in the program's directory, and the name of the
// system's own; each platform names its own (SqliteLibraryFiles_*.cpp).
extern const char* const kSqliteLibraryFile;
extern const char* const kInstalledSqliteLibrary;

// The entry points the personnel database calls.
struct SqliteFunctions {
    decltype(&sqlite3_open) open = nullptr;
    decltype(&sqlite3_close) close = nullptr;
    decltype(&sqlite3_exec) exec = nullptr;
    decltype(&sqlite3_prepare) prepare = nullptr;
    decltype(&sqlite3_step) step = nullptr;
    decltype(&sqlite3_column_text) columnText = nullptr;
    decltype(&sqlite3_finalize) finalize = nullptr;
    decltype(&sqlite3_bind_text) bindText = nullptr;
};

// A loaded SQLite library with all its entry points; it stays loaded while
// the object lives.
class SqliteLibrary {
public:
    SqliteLibrary(std::unique_ptr<SharedLibrary> file, const SqliteFunctions& functions);
    ~SqliteLibrary();
    SqliteLibrary(const SqliteLibrary&) = delete;
    SqliteLibrary& operator=(const SqliteLibrary&) = delete;

    const SqliteFunctions& functions() const { return functions_; }
    // Another of its entry points, for those who need more than the above;
    // null when the library lacks it.
    void* symbol(const char* name) const;
    // The file the library was loaded from.
    std::filesystem::path file() const;

private:
    std::unique_ptr<SharedLibrary> file_;
    SqliteFunctions functions_;
};

struct SqliteBinding {
    // Empty when the personnel features are off for this run: no library
    // file, a file that does not load, or an entry point missing.
    std::shared_ptr<const SqliteLibrary> library;
    // The texts to show under "Error", one per entry point that could not be
    // resolved, in the order of resolving.
    std::vector<std::string> messages;
};

// Where the library may come from.
enum class SqliteSource {
    ProgramDirectory,         // only the file beside the program
    ProgramDirectoryOrSystem, // that file, or else the system's library
};

// Binds the library file kSqliteLibraryFile in the program's directory, or
// the system's when the source allows it; never another copy found by a
// search. Without a library nothing is reported.
SqliteBinding BindSqliteLibrary(const std::filesystem::path& programDirectory,
                                SqliteSource source = SqliteSource::ProgramDirectory);
// As the file places say: beside the program only the library there counts.
SqliteBinding BindSqliteLibrary(const FileLocations& files);

} // namespace pelvaro
