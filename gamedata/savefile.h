#pragma once

#include <QSaveFile>

// Puts what was written in place. The flush comes first: commit() alone reports a full disk as
// success, and leaves an empty file.
inline bool commitFlushed(QSaveFile &file)
{
    return file.flush() && file.commit();
}
