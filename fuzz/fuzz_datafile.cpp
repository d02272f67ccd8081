// Feeds mutated data files through start-up and everything a session reads. A crash, a
// sanitizer report, a failure whose message does not name the file, or a file changed by
// reading it, each stops the fuzzer with the input that caused it.

#include "data/failure.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "testsupport.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

TestFolder *folder = nullptr;

[[noreturn]] void stop(const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s\n%s\n", what, qPrintable(detail));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    static QApplication *app = new QApplication(qtArgc, qtArgv);
    std::atexit([] { delete app; });
    // A slot row that names no rune is told in a message box; the fuzzer reads on.
    setNoticeHandler([](QWidget *, const QString &) {});
    // The pictures and the folder stay; each input replaces the data file.
    static TestFolder shared;
    folder = &shared;
    Q_UNUSED(argc);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = folder->dataFile();
    for (const char *suffix : {"-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(input) != input.size())
            stop("cannot write the input", path);
    }

    try {
        auto form = startForm(folder->path());
        readEverything(*form);
    } catch (const Failure &failure) {
        if (!failure.text().contains(path))
            stop("a failure does not name the file:", failure.text());
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.readAll() != input)
        stop("reading the file changed it:", path);
    return 0;
}
