// Downloads argv[1] into argv[2], so that a test can kill a download; on
// POSIX argv[3], when given, lowers the file-size limit to that many bytes.
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
    return HttpRequest::httpDownload(app.arguments().value(1), app.arguments().value(2)).isEmpty();
}
