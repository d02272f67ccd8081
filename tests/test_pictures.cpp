#include "gifwriter.h"
#include "runepictures.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

namespace {

// The image as 32-bit colours, every transparent pixel alike whatever colour it hides.
QImage plain(const QImage &image)
{
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QRgb *pixels = reinterpret_cast<QRgb *>(argb.bits());
    for (int i = 0; i < argb.width() * argb.height(); ++i)
        pixels[i] = qAlpha(pixels[i]) ? pixels[i] : 0;
    return argb;
}

// Random pixels of so many colours: 0 is transparent over a random colour, 1 is opaque black.
QImage noise(int width, int height, int colours)
{
    QRandomGenerator random(quint32(width * height));
    QImage image(width, height, QImage::Format_ARGB32);
    for (int i = 0; i < width * height; ++i) {
        const int c = int(random.bounded(colours)) - 1;
        image.setPixel(i % width, i / width,
                       c < 0 ? random.generate() & 0xffffffu
                             : qRgb(c, (c * 37) & 0xff, (c * 101) & 0xff));
    }
    return image;
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void encoderRoundTrip()
    {
        // Enough pixels that the code table fills and is cleared many times, at the widest and at
        // the narrowest code size; the hidden colours of transparent pixels must not count.
        for (const QImage &image : {noise(1, 1, 2), noise(200, 200, 256), noise(1000, 3, 2)}) {
            QBuffer buffer;
            buffer.setData(encodeGif(image));
            QVERIFY(buffer.open(QIODevice::ReadOnly));
            QCOMPARE(plain(QImageReader(&buffer, "gif").read()), plain(image));
        }
    }

    void runePictures()
    {
        QTemporaryDir dir;
        const QDir folder(dir.filePath(QStringLiteral("not/yet/there")));
        writeRunePictures(folder.path());
        for (int rune = 1; rune <= runePictureCount; ++rune)
            QCOMPARE(plain(QImage(folder.filePath(QStringLiteral("crune%1.gif").arg(rune)), "gif")),
                     plain(drawRunePicture(rune)));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, drawRunePicture(runePictureCount + 1));
        // A plain file where a folder should be makes the folder impossible to create.
        const QString blocked = folder.filePath(QStringLiteral("crune1.gif/runes"));
        try {
            writeRunePictures(blocked);
            QFAIL("no error for an impossible folder");
        } catch (const std::runtime_error &error) {
            QVERIFY2(QString::fromStdString(error.what()).contains(blocked), error.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "test_pictures.moc"
