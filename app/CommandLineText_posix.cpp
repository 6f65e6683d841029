#include "app/CommandLineText.h"

#include <cstdio>

namespace pelvaro {

namespace {

void put(const std::string& text, std::FILE* stream) {
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

} // namespace

void showCommandLineText(const std::string& text) {
    put(text, stdout);
}

void showCommandLineError(const std::string& text) {
    put(text, stderr);
}

} // namespace pelvaro
