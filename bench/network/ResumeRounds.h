#pragma once

#include <QString>

class FileServer;

// The download the resume rounds repeat: what the server serves, and where
// httpDownload is to put it.
struct ResumedDownload
{
    QString url;
    QString source; // the served file, to compare each copy with
    QString folder; // passed to httpDownload, with its trailing "/"
    QString written; // the path httpDownload returns when it succeeds
    qint64 size = 0;
};

// Times httpDownload continuing a transfer that was cut halfway, against the
// same call fetching the whole file, in alternated rounds, and checks every
// copy against the source. Prints the rounds and the figures; false when a
// round went wrong.
bool measureResume(FileServer& server, const ResumedDownload& download, int rounds);
