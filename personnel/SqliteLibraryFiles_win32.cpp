#include "personnel/SqliteLibrary.h"

namespace pelvaro {

const char* const kSqliteLibraryFile = "Sqlite3.dll";
const char* const kInstalledSqliteLibrary = "sqlite3.dll";

} // namespace pelvaro
