#include "platform/scanindex/SqliteLibrary.h"

#include <dlfcn.h>

#include <type_traits>

namespace glyptor::platform {

namespace {

const SqliteLibrary* Load() {
    void* handle = ::dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    static SqliteLibrary library;
    bool complete = true;
    const auto find = [&](auto& function, const char* name) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(handle, name));
        complete = complete && function != nullptr;
    };
    find(library.open_v2, "sqlite3_open_v2");
    find(library.close_v2, "sqlite3_close_v2");
    find(library.busy_timeout, "sqlite3_busy_timeout");
    find(library.exec, "sqlite3_exec");
    find(library.prepare_v2, "sqlite3_prepare_v2");
    find(library.prepare_v3, "sqlite3_prepare_v3");
    find(library.step, "sqlite3_step");
    find(library.reset, "sqlite3_reset");
    find(library.finalize, "sqlite3_finalize");
    find(library.bind_blob, "sqlite3_bind_blob");
    find(library.bind_int64, "sqlite3_bind_int64");
    find(library.column_blob, "sqlite3_column_blob");
    find(library.column_bytes, "sqlite3_column_bytes");
    find(library.column_int64, "sqlite3_column_int64");
    find(library.column_text, "sqlite3_column_text");
    find(library.errmsg, "sqlite3_errmsg");
    find(library.errstr, "sqlite3_errstr");
    find(library.wal_checkpoint_v2, "sqlite3_wal_checkpoint_v2");
    // An older library without one of them is left loaded but unused.
    return complete ? &library : nullptr;
}

} // namespace

const SqliteLibrary* Sqlite() {
    static const SqliteLibrary* const library = Load();
    return library;
}

} // namespace glyptor::platform
