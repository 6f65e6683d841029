#include "app/CommandLineText.h"

#include <cstdio>

namespace pelvaro {

void showCommandLineText(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

} // namespace pelvaro
