#include "machine.h"

#include <QByteArray>
#include <QFile>

// What the benchmark learns of the machine it reads from Linux's /proc. Elsewhere the table
// calls the machine unknown and leaves the peak memory out.
#ifdef Q_OS_LINUX
#include <malloc.h>
#include <sched.h>

namespace {

QString cpuModel()
{
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown CPU");
}

double memoryGiB()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : meminfo.readAll().split('\n')) {
            if (line.startsWith("MemTotal:"))
                return line.mid(9).trimmed().split(' ').first().toDouble() / (1024 * 1024);
        }
    }
    return 0;
}

int processors()
{
    cpu_set_t set;
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
}

} // namespace

// VmHWM, the peak resident set; writing 5 to clear_refs starts it afresh.
long peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

void resetPeakResident()
{
    malloc_trim(0);
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

QString machine()
{
    return QStringLiteral("%1 CPUs, %2, %3 GiB memory")
        .arg(QString::number(processors()), cpuModel(), QString::number(memoryGiB(), 'f', 1));
}

#else

long peakResidentKb()
{
    return 0;
}

void resetPeakResident() {}

QString machine()
{
    return QStringLiteral("unknown");
}

#endif
