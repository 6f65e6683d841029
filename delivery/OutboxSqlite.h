#pragma once

#include <optional>
#include <sqlite3.h>

namespace pelvaro {

class SqliteLibrary;

// The entry points the outbox calls, beyond those the personnel database
// needs, looked up quietly: a library lacking one leaves the outbox closed
// without a word about the personnel features.
struct OutboxSqlite {
    decltype(&sqlite3_open_v2) open = nullptr;
    decltype(&sqlite3_close) close = nullptr;
    decltype(&sqlite3_busy_timeout) busyTimeout = nullptr;
    decltype(&sqlite3_exec) exec = nullptr;
    decltype(&sqlite3_prepare_v2) prepare = nullptr;
    decltype(&sqlite3_step) step = nullptr;
    decltype(&sqlite3_reset) reset = nullptr;
    decltype(&sqlite3_finalize) finalize = nullptr;
    decltype(&sqlite3_bind_int64) bindInteger = nullptr;
    decltype(&sqlite3_bind_text) bindText = nullptr;
    decltype(&sqlite3_column_int64) columnInteger = nullptr;
    decltype(&sqlite3_column_text) columnText = nullptr;
    decltype(&sqlite3_column_bytes) columnBytes = nullptr;
    decltype(&sqlite3_changes) changes = nullptr;
    decltype(&sqlite3_last_insert_rowid) lastInsertRowid = nullptr;
    decltype(&sqlite3_errmsg) errorMessage = nullptr;
    decltype(&sqlite3_extended_errcode) errorCode = nullptr;

    // Nothing when the library lacks any of them.
    static std::optional<OutboxSqlite> resolve(const SqliteLibrary& library);
};

} // namespace pelvaro
