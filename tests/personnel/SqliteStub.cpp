// A library that exports only two of SQLite's entry points, as an old or
// foreign library in the program's directory might.

#include <sqlite3.h>

int sqlite3_open(const char*, sqlite3**) {
    return SQLITE_CANTOPEN;
}

int sqlite3_close(sqlite3*) {
    return SQLITE_OK;
}
