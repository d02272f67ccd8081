#include "gifwriter.h"
#include "runepictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace {

QImage decodeGif(const QByteArray &data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    return reader.read();
}

// Position and colours of the first differing pixel, or empty when the images match.
QString firstDifference(const QImage &actual, const QImage &expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width())
            .arg(actual.height())
            .arg(expected.width())
            .arg(expected.height());
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32);
    // Fully transparent pixels match whatever colour they carry.
    auto same = [](QRgb p, QRgb q) { return p == q || (qAlpha(p) == 0 && qAlpha(q) == 0); };
    for (int y = 0; y < e.height(); ++y)
        for (int x = 0; x < e.width(); ++x)
            if (!same(a.pixel(x, y), e.pixel(x, y)))
                return QStringLiteral("pixel (%1,%2) is %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(e.pixel(x, y), 8, 16);
    return {};
}

QImage noise(int width, int height, int colours, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int c = int(random.bounded(colours));
            image.setPixel(x, y, qRgb(c, (c * 37) & 0xff, 255 - c));
        }
    return image;
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encoderRoundTrip_data();
    void encoderRoundTrip();
    void encoderReducesRichImages();
    void writtenPicturesReadBackUnchanged();
    void picturesAreDistinct();
    void unwritableFolderIsReported();
};

void TestPictures::encoderRoundTrip_data()
{
    QTest::addColumn<QImage>("image");

    QImage single(5, 3, QImage::Format_RGB32);
    single.fill(qRgb(12, 34, 56));
    QTest::newRow("one colour") << single;

    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(Qt::white);
    QTest::newRow("one pixel") << dot;

    QImage checker(16, 9, QImage::Format_RGB32);
    for (int y = 0; y < checker.height(); ++y)
        for (int x = 0; x < checker.width(); ++x)
            checker.setPixel(x, y, (x + y) % 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    QTest::newRow("two colours") << checker;

    QImage all(16, 16, QImage::Format_RGB32);
    for (int i = 0; i < 256; ++i)
        all.setPixel(i % 16, i / 16, qRgb(i, 255 - i, (i * 7) & 0xff));
    QTest::newRow("256 colours") << all;

    QImage indexed(7, 5, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(200, 100, 50), qRgb(9, 250, 9)});
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x)
            indexed.setPixel(x, y, uint((x * y) % 3));
    QTest::newRow("indexed source") << indexed;

    // Opaque black next to transparent pixels of several hidden colours: the transparent
    // entry must not swallow black, and the hidden colours must not count as colours.
    QImage holes(6, 4, QImage::Format_ARGB32);
    for (int y = 0; y < holes.height(); ++y)
        for (int x = 0; x < holes.width(); ++x)
            holes.setPixel(x, y,
                           (x + y) % 3 == 0   ? qRgba(x * 40, y, 9, 0)
                           : (x + y) % 3 == 1 ? qRgb(0, 0, 0)
                                              : qRgb(250, 240, 10));
    QTest::newRow("transparent pixels") << holes;

    // Long enough runs and enough pixels that the code table fills and is cleared many times,
    // at both the widest and the narrowest starting code size.
    QTest::newRow("256-colour noise") << noise(200, 200, 256, 1);
    QTest::newRow("4-colour noise") << noise(300, 300, 4, 2);
    QTest::newRow("2-colour noise, wide") << noise(1000, 3, 2, 3);
}

void TestPictures::encoderRoundTrip()
{
    QFETCH(QImage, image);
    const QByteArray gif = encodeGif(image);
    QVERIFY(gif.startsWith("GIF89a"));
    QVERIFY(gif.endsWith(';'));
    const QImage decoded = decodeGif(gif);
    QVERIFY2(!decoded.isNull(), "the GIF reader rejected the data");
    const QString difference = firstDifference(decoded, image);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestPictures::encoderReducesRichImages()
{
    QImage gradient(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            gradient.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) * 2));
    const QImage decoded = decodeGif(encodeGif(gradient));
    QCOMPARE(decoded.size(), gradient.size());
    // Reduced, not garbled: every pixel stays near its original colour.
    const QImage rgb = decoded.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb a = rgb.pixel(x, y), b = gradient.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
        }
    QVERIFY2(worst <= 64, qPrintable(QStringLiteral("channel off by %1").arg(worst)));
}

void TestPictures::writtenPicturesReadBackUnchanged()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("not/yet/there"));
    writeRunePictures(folder);

    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), runePictureCount);
    for (int rune = 1; rune <= runePictureCount; ++rune) {
        const QString path = QDir(folder).filePath(QStringLiteral("crune%1.gif").arg(rune));
        QImageReader reader(path, "gif");
        const QImage picture = reader.read();
        QVERIFY2(!picture.isNull(), qPrintable(path + QStringLiteral(": ") + reader.errorString()));
        QCOMPARE(picture.size(), QSize(runePictureWidth, runePictureHeight));
        // The tile's colour shows at the corners, around the stone, not through it.
        QCOMPARE(qAlpha(picture.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(picture.pixel(runePictureWidth / 2, runePictureHeight / 2)), 255);
        const QString difference = firstDifference(picture, drawRunePicture(rune));
        QVERIFY2(difference.isEmpty(),
                 qPrintable(QStringLiteral("rune %1: %2").arg(rune).arg(difference)));
    }
}

void TestPictures::picturesAreDistinct()
{
    QVector<QImage> pictures;
    for (int rune = 1; rune <= runePictureCount; ++rune)
        pictures.append(drawRunePicture(rune).convertToFormat(QImage::Format_RGB32));

    // Stones of one group share tint and grain, so only the glyph tells them apart; a groove
    // segment of its own, with its shading, is well over a dozen pixels.
    for (int a = 0; a < runePictureCount; ++a)
        for (int b = a + 1; b < runePictureCount; ++b) {
            int differing = 0;
            for (int y = 0; y < runePictureHeight; ++y)
                for (int x = 0; x < runePictureWidth; ++x)
                    differing += pictures[a].pixel(x, y) != pictures[b].pixel(x, y);
            QVERIFY2(differing >= 16,
                     qPrintable(QStringLiteral("runes %1 and %2 differ in only %3 pixels")
                                    .arg(a + 1)
                                    .arg(b + 1)
                                    .arg(differing)));
        }

    QVERIFY_THROWS_EXCEPTION(std::out_of_range, drawRunePicture(0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, drawRunePicture(runePictureCount + 1));
}

void TestPictures::unwritableFolderIsReported()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A plain file where a folder should be makes the folder impossible to create.
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    const QString folder = blocker + QStringLiteral("/runes");
    try {
        writeRunePictures(folder);
        QFAIL("no error for an impossible folder");
    } catch (const std::runtime_error &error) {
        QVERIFY2(QString::fromStdString(error.what()).contains(folder), error.what());
    }
}

QTEST_GUILESS_MAIN(TestPictures)
#include "test_pictures.moc"
