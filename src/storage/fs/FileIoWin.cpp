#ifdef _WIN32

#include "FileIo.h"

#include <QDir>
#include <QFileInfo>

namespace fs {

std::wstring longPath(const QString& path)
{
    QString absolute = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (absolute.startsWith(QLatin1String("\\\\?\\")))
        return absolute.toStdWString();
    if (absolute.startsWith(QLatin1String("\\\\")))
        absolute = QLatin1String("\\\\?\\UNC\\") + absolute.mid(2);
    else
        absolute.prepend(QLatin1String("\\\\?\\"));
    return absolute.toStdWString();
}

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

QString lastError()
{
    return qt_error_string(int(::GetLastError()));
}

bool lastErrorIsMissing()
{
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

UniqueFd openForReading(const QString& path)
{
    UniqueFd file(::CreateFileW(longPath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file && ::GetFileType(file.get()) != FILE_TYPE_DISK) {
        file.reset();
        ::SetLastError(ERROR_INVALID_PARAMETER);
    }
    BY_HANDLE_FILE_INFORMATION info {};
    if (file
        && (!::GetFileInformationByHandle(file.get(), &info)
            || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))) {
        file.reset();
        ::SetLastError(ERROR_INVALID_PARAMETER);
    }
    return file;
}

UniqueFd createNew(const QString& path)
{
    return UniqueFd(::CreateFileW(longPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

qint64 sizeOf(const UniqueFd& file)
{
    LARGE_INTEGER size {};
    return ::GetFileSizeEx(file.get(), &size) ? qint64(size.QuadPart) : -1;
}

qint64 readAt(const UniqueFd& file, char* data, qint64 size, qint64 offset)
{
    // A read at an offset moves the file pointer, which pread leaves alone:
    // it is put back, so that writing goes on where it was.
    LARGE_INTEGER zero {};
    LARGE_INTEGER pointer {};
    if (!::SetFilePointerEx(file.get(), zero, &pointer, FILE_CURRENT))
        return -1;
    OVERLAPPED at {};
    at.Offset = DWORD(quint64(offset) & 0xffffffffu);
    at.OffsetHigh = DWORD(quint64(offset) >> 32);
    DWORD got = 0;
    const DWORD wanted = DWORD(qMin<qint64>(size, 1 << 30));
    const bool read = ::ReadFile(file.get(), data, wanted, &got, &at)
        || ::GetLastError() == ERROR_HANDLE_EOF;
    return ::SetFilePointerEx(file.get(), pointer, nullptr, FILE_BEGIN) && read ? qint64(got) : -1;
}

bool writeAll(const UniqueFd& file, const char* data, qint64 size)
{
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = DWORD(qMin<qint64>(size, 1 << 30));
        if (!::WriteFile(file.get(), data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool flushToDisk(const UniqueFd& file)
{
    return ::FlushFileBuffers(file.get()) != 0;
}

bool flushFile(const QString& path)
{
    // Windows flushes only through a handle that may write.
    const UniqueFd file(::CreateFileW(longPath(path).c_str(), GENERIC_WRITE, kShareAll, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ::FlushFileBuffers(file.get());
}

bool flushFolder(const QString&)
{
    return true;
}

bool replaceEntry(const QString& from, const QString& to)
{
    return ::MoveFileExW(longPath(from).c_str(), longPath(to).c_str(),
               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
        != 0;
}

} // namespace fs

#endif
