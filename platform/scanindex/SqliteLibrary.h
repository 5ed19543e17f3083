// SQLite's functions, loaded with the first index opened rather than with the program: a count
// that does not use the index is over in a few milliseconds, and loading the library as the
// program started took 0.7 ms of them.
#pragma once

#include <sqlite3.h>

namespace glyptor::platform {

struct SqliteLibrary {
    decltype(&::sqlite3_open_v2) open_v2;
    decltype(&::sqlite3_close_v2) close_v2;
    decltype(&::sqlite3_busy_timeout) busy_timeout;
    decltype(&::sqlite3_exec) exec;
    decltype(&::sqlite3_prepare_v2) prepare_v2;
    decltype(&::sqlite3_prepare_v3) prepare_v3;
    decltype(&::sqlite3_step) step;
    decltype(&::sqlite3_reset) reset;
    decltype(&::sqlite3_finalize) finalize;
    decltype(&::sqlite3_bind_blob) bind_blob;
    decltype(&::sqlite3_bind_int64) bind_int64;
    decltype(&::sqlite3_column_blob) column_blob;
    decltype(&::sqlite3_column_bytes) column_bytes;
    decltype(&::sqlite3_column_int64) column_int64;
    decltype(&::sqlite3_column_text) column_text;
    decltype(&::sqlite3_errmsg) errmsg;
    decltype(&::sqlite3_errstr) errstr;
    decltype(&::sqlite3_wal_checkpoint_v2) wal_checkpoint_v2;
};

// The library, loaded on the first call and kept for the life of the process; null when it
// cannot be loaded or lacks a function, and then no index opens.
const SqliteLibrary* Sqlite();

} // namespace glyptor::platform
