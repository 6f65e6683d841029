#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace pelvaro {

class SharedLibrary;
struct PqFunctions; // the entry points of libpq that the server table calls

// libpq, bound at run time like SQLite: the file beside the program
// (libpq.dll on Windows) or the system's (libpq.so.5). It stays loaded while
// the object lives.
class PqLibrary {
public:
    PqLibrary(std::unique_ptr<SharedLibrary> file, std::unique_ptr<const PqFunctions> functions);
    ~PqLibrary();
    PqLibrary(const PqLibrary&) = delete;
    PqLibrary& operator=(const PqLibrary&) = delete;

    const PqFunctions& functions() const { return *functions_; }

private:
    std::unique_ptr<SharedLibrary> file_;
    std::unique_ptr<const PqFunctions> functions_;
};

struct PqBinding {
    std::shared_ptr<const PqLibrary> library;
    // Without a library: why, in German, for the greyed-out server settings.
    std::string unavailable;
};

PqBinding BindPqLibrary(const std::filesystem::path& programDirectory);

} // namespace pelvaro
