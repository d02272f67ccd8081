#pragma once

#include "data/database.h"

#include <QImage>
#include <QString>

#include <array>
#include <exception>
#include <memory>
#include <thread>

// What start-up reads from the disk: the data file opened and checked, and the 46 rune
// pictures decoded. Read aside, it runs on a thread of its own while the window makes its
// controls; only the results cross back, once the thread has ended. A failure is raised when
// the result it concerns is asked for, so start-up reports what it would have met reading in
// order, and in the same words.
class LoadAhead {
public:
    enum class Reading { here, aside };

    LoadAhead(QString dataFile, QString picturesFolder, Reading reading);
    ~LoadAhead();
    LoadAhead(const LoadAhead &) = delete;
    LoadAhead &operator=(const LoadAhead &) = delete;

    bool readsFrom(const QString &dataFile, const QString &picturesFolder) const;
    // The open, checked connection, once; throws the Failure that opening met.
    std::unique_ptr<Database> database();
    // Rune k's picture (1 to 46), once; throws a Failure naming the file.
    QImage picture(int k);

private:
    QString picturePath(int k) const;
    void read();
    void wait();

    const QString dataFile_;
    const QString picturesFolder_;
    std::unique_ptr<Database> database_;
    std::exception_ptr failure_;
    std::array<QImage, 47> pictures_;
    std::array<QString, 47> pictureErrors_;
    std::thread thread_;
};
