#include "personnel/SqliteLibrary.h"

namespace pelvaro {

const char* const kSqliteLibraryFile = "libsqlite3.so.0";
const char* const kInstalledSqliteLibrary = "libsqlite3.so.0";

} // namespace pelvaro
