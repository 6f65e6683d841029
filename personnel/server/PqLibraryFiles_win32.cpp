#include "personnel/SharedLibrary.h"
#include "personnel/server/PqFunctions.h"

namespace pelvaro {

// Only the copy shipped beside the program, never one found by a search.
std::unique_ptr<SharedLibrary> loadPqLibraryFile(const std::filesystem::path& programDirectory) {
    return SharedLibrary::load(programDirectory / "libpq.dll");
}

const char* const kPqLibraryMissingText =
    "Die Bibliothek libpq.dll fehlt im Programmordner. Ohne sie gibt es keinen "
    "Personalnummern-Server; die Tabelle auf diesem PC arbeitet wie bisher.";
const char* const kPqPasswordFileText =
    "%APPDATA%\\postgresql\\pgpass.conf oder die Datei in PGPASSFILE";

} // namespace pelvaro
