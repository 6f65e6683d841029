#include "personnel/SharedLibrary.h"
#include "personnel/server/PqFunctions.h"

namespace pelvaro {

// The system's libpq; a copy beside the program is never looked for.
std::unique_ptr<SharedLibrary> loadPqLibraryFile(const std::filesystem::path&) {
    return SharedLibrary::loadInstalled("libpq.so.5");
}

const char* const kPqLibraryMissingText =
    "Die Bibliothek libpq.so.5 fehlt (Paket libpq5). Ohne sie gibt es keinen "
    "Personalnummern-Server; die Tabelle auf diesem PC arbeitet wie bisher.";
const char* const kPqPasswordFileText = "~/.pgpass oder die Datei in PGPASSFILE";

} // namespace pelvaro
