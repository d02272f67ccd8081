#include "loadahead.h"

#include "data/failure.h"

#include <QDir>
#include <QImageReader>

#include <pthread.h>
#include <sched.h>
#include <system_error>
#include <utility>

namespace {

// Keeps the calling thread off the given processor when there is another it may use. Left to
// choose, the system often starts a new thread on its parent's processor and leaves it there
// for the few milliseconds this reading takes, which the window's thread would then lose.
void keepOff(int processor)
{
    cpu_set_t allowed;
    if (processor < 0 || pthread_getaffinity_np(pthread_self(), sizeof allowed, &allowed) != 0)
        return;
    if (CPU_COUNT(&allowed) < 2 || !CPU_ISSET(processor, &allowed))
        return;
    CPU_CLR(processor, &allowed);
    pthread_setaffinity_np(pthread_self(), sizeof allowed, &allowed);
}

} // namespace

LoadAhead::LoadAhead(QString dataFile, QString picturesFolder, Reading reading)
    : dataFile_(std::move(dataFile)), picturesFolder_(std::move(picturesFolder))
{
    if (reading == Reading::aside) {
        try {
            const int windowProcessor = sched_getcpu();
            thread_ = std::thread([this, windowProcessor] {
                keepOff(windowProcessor);
                read();
            });
            return;
        } catch (const std::system_error &) {
            // No thread to be had: read here instead.
        }
    }
    read();
}

LoadAhead::~LoadAhead()
{
    wait();
}

bool LoadAhead::readsFrom(const QString &dataFile, const QString &picturesFolder) const
{
    return dataFile == dataFile_ && picturesFolder == picturesFolder_;
}

void LoadAhead::wait()
{
    if (thread_.joinable())
        thread_.join();
}

std::unique_ptr<Database> LoadAhead::database()
{
    wait();
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
    return std::move(database_);
}

QImage LoadAhead::picture(int k)
{
    wait();
    QImage &picture = pictures_.at(size_t(k));
    if (picture.isNull())
        throw Failure(QStringLiteral("load the rune picture"),
                      QDir::toNativeSeparators(picturePath(k)), pictureErrors_.at(size_t(k)));
    return std::exchange(picture, QImage());
}

QString LoadAhead::picturePath(int k) const
{
    return picturesFolder_ + QStringLiteral("/CRunes/crune%1.gif").arg(k);
}

void LoadAhead::read()
{
    try {
        database_ = std::make_unique<Database>(dataFile_);
        for (size_t k = 1; k < pictures_.size(); ++k) {
            QImageReader reader(picturePath(int(k)));
            QImage picture = reader.read();
            if (picture.isNull()) {
                // Start-up stops at the first picture it cannot load.
                pictureErrors_[k] = reader.errorString();
                return;
            }
            // Converted here to what a pixmap holds, rather than by the pixmap on the
            // window's thread.
            QImage converted = picture.convertToFormat(picture.hasAlphaChannel()
                                                           ? QImage::Format_ARGB32_Premultiplied
                                                           : QImage::Format_RGB32);
            pictures_[k] = converted.isNull() ? std::move(picture) : std::move(converted);
        }
    } catch (...) {
        // Raised where the window asks for what was read: a thread must not end on it.
        failure_ = std::current_exception();
    }
}
