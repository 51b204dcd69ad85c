// Downloads each of the space-separated URLs of argv[1] into argv[2], so that
// a test can kill a download or run downloads of two processes side by side,
// and exits with the number that failed; on POSIX argv[3], when given, lowers
// the file-size limit to that many bytes.
#include <bimcore/network/HttpRequest.h>

#include <QCoreApplication>

#ifndef _WIN32
#include <sys/resource.h>
#endif

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
#ifndef _WIN32
    if (argc > 3) {
        rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(app.arguments().at(3).toLongLong());
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
    }
#endif
    int failed = 0;
    for (const QString& url : app.arguments().value(1).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        failed += HttpRequest::httpDownload(url, app.arguments().value(2)).isEmpty();
    return failed;
}
