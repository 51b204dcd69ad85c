#pragma once

#include <memory>
#include <string>

struct sqlite3;

namespace KSQLite {

// The open SQLite handle behind a KSqlDatabase. The database holds it through
// a shared pointer and statements and tables through weak ones, so closing the
// database invalidates them all at once without leaving them a dangling handle.
class KSqlConnection
{
public:
    // Opens and checks the file; raises KSqlException.
    KSqlConnection(const std::string& utf8Path, bool readWrite);

    sqlite3* handle() const noexcept { return m_handle.get(); }
    const std::string& path() const noexcept { return m_path; }

private:
    struct HandleCloser
    {
        // sqlite3_close_v2 defers the close while statements are still
        // prepared, so it cannot fail on a valid handle.
        void operator()(sqlite3* handle) const noexcept;
    };

    std::unique_ptr<sqlite3, HandleCloser> m_handle;
    std::string m_path;
};

} // namespace KSQLite
