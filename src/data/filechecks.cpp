#include "database.h"
#include "failure.h"

#include <QFileInfo>

void Database::checkFile(const QString &attempted) const
{
    const QFileInfo info(path_);
    if (!info.exists())
        throw Failure(attempted, path_, QStringLiteral("The file does not exist."));
    if (!info.isFile())
        throw Failure(attempted, path_, QStringLiteral("This is not a file."));
    // SQLite would take an empty file for an empty database.
    if (info.size() == 0)
        throw Failure(attempted, path_, QStringLiteral("The file is empty."));
}

void Database::recheck()
{
    const QString attempted = QStringLiteral("open the database file");
    checkFile(attempted);
    // Written through this connection, a file put in its place would not get the writes. A file
    // put there was made later than the one opened; where the file system keeps no time of
    // making, only that a sound file is there is checked. Windows lets no file be put in the
    // place of one the engine holds open, and Wine reports the last change as the time of
    // making, so there the check is left to the system.
#ifndef Q_OS_WIN
    if (QFileInfo(path_).birthTime() != born_)
        throw Failure(attempted, path_,
                      QStringLiteral("Another file has been put in its place since the program "
                                     "opened it."));
#endif
    checkIntegrity();
}

void Database::checkIntegrity()
{
    const QString attempted = QStringLiteral("check the database file");
    const RowData rows = select(QStringLiteral("PRAGMA quick_check(1)"), {}, attempted);
    const QString verdict = rows.rowCount() > 0 ? rows.value(0, 0).toString() : QString();
    if (verdict != QLatin1String("ok"))
        throw Failure(attempted, path_, QStringLiteral("The file is damaged: %1").arg(verdict));
    // A file cut short reads as zeros where its end is missing, which the quick check does not
    // always notice; the header says how long it is. Pages still in a write-ahead log are not
    // in the file yet.
    const RowData size = select(QStringLiteral("SELECT page_count * page_size FROM "
                                               "pragma_page_count(), pragma_page_size()"),
                                {}, attempted);
    const qint64 expected = size.rowCount() > 0 ? size.value(0, 0).toLongLong() : 0;
    const qint64 actual = QFileInfo(path_).size();
    if (actual < expected && !QFileInfo::exists(path_ + QStringLiteral("-wal")))
        throw Failure(
            attempted, path_,
            QStringLiteral("The file is damaged: it is %1 bytes long, its header says %2.")
                .arg(actual)
                .arg(expected));
}
