// Downloads argv[1] into argv[2], so that a test can kill a download.
#include <bimcore/network/HttpRequest.h>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return HttpRequest::httpDownload(app.arguments().value(1), app.arguments().value(2)).isEmpty();
}
