#include "LauncherSettings.h"

#ifndef Q_OS_WIN

#include <QFile>
#include <QSettings>

namespace bimcore {

namespace {

const QString kWorkspaceKey = QStringLiteral("WorkSpace");

// Qt's settings files read an unquoted value holding a comma as a list of
// texts, which loses the text itself ("/data/a, b" would come back as two
// items). The launcher's value is one path, so it is taken as the file holds
// it, from the top-level group where Qt's own files keep it.
QString textAsWritten(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    bool topLevel = true;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            topLevel = line.compare(QLatin1String("[General]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (topLevel && equals > 0 && line.leftRef(equals).trimmed() == kWorkspaceKey)
            return line.mid(equals + 1).trimmed();
    }
    return QString();
}

} // namespace

// Elsewhere than on Windows the system-scope native settings of the same
// organisation and application stand for the launcher's registry key.
QString launcherWorkspaceRoot(const QString& fallback)
{
    const QSettings settings(QSettings::NativeFormat, QSettings::SystemScope,
        QStringLiteral("Korvane"), QStringLiteral("Plenar_Lanucher"));
    const QVariant value = settings.value(kWorkspaceKey, fallback);
    if (value.userType() == QMetaType::QStringList)
        return textAsWritten(settings.fileName());
    return value.toString();
}

} // namespace bimcore

#endif
