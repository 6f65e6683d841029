#include "delivery/OutboxSqlite.h"

#include "personnel/SqliteLibrary.h"

#include <type_traits>

namespace pelvaro {

std::optional<OutboxSqlite> OutboxSqlite::resolve(const SqliteLibrary& library) {
    OutboxSqlite calls;
    bool complete = true;
    const auto take = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(library.symbol(name));
        complete = complete && slot;
    };
    take(calls.open, "sqlite3_open_v2");
    take(calls.close, "sqlite3_close");
    take(calls.busyTimeout, "sqlite3_busy_timeout");
    take(calls.exec, "sqlite3_exec");
    take(calls.prepare, "sqlite3_prepare_v2");
    take(calls.step, "sqlite3_step");
    take(calls.reset, "sqlite3_reset");
    take(calls.finalize, "sqlite3_finalize");
    take(calls.bindInteger, "sqlite3_bind_int64");
    take(calls.bindText, "sqlite3_bind_text");
    take(calls.columnInteger, "sqlite3_column_int64");
    take(calls.columnText, "sqlite3_column_text");
    take(calls.columnBytes, "sqlite3_column_bytes");
    take(calls.changes, "sqlite3_changes");
    take(calls.lastInsertRowid, "sqlite3_last_insert_rowid");
    take(calls.errorMessage, "sqlite3_errmsg");
    take(calls.errorCode, "sqlite3_extended_errcode");
    if (!complete)
        return std::nullopt;
    return calls;
}

} // namespace pelvaro
