#include "dataset.h"

#include "fail.h"
#include "gifwriter.h"

#include <QLatin1String>
#include <QRandomGenerator>
#include <QSet>

#include <iterator>

GameData generatedData(int count, const GameData &shipped)
{
    static const char *const syllables[] = {"ka",  "tor", "mel", "vin", "ash", "ru",  "zel", "dor",
                                            "fen", "gal", "hy",  "ith", "lo",  "mar", "nex", "or",
                                            "pel", "qua", "ren", "sil", "tha", "ul",  "vor", "wyn"};
    QRandomGenerator random(1709);
    auto word = [&](int parts) {
        QString text;
        for (int i = 0; i < parts; ++i)
            text += QLatin1String(syllables[random.bounded(int(std::size(syllables)))]);
        text[0] = text[0].toUpper();
        return text;
    };

    GameData data;
    data.runes = shipped.runes;
    data.saves = shipped.saves;
    QSet<QString> names;
    while (data.runewords.size() < count) {
        RunewordSource runeword;
        runeword.name = word(random.bounded(2, 4)) + QLatin1Char(' ') + word(random.bounded(1, 3));
        if (names.contains(runeword.name))
            continue;
        names.insert(runeword.name);
        runeword.nrrunes = random.bounded(1, 7);
        for (int slot = 0; slot < 6; ++slot)
            runeword.runes[size_t(slot)] = slot < runeword.nrrunes ? random.bounded(1, 47) : 0;
        runeword.types[size_t(random.bounded(9))] = true;
        for (bool &type : runeword.types)
            type = type || random.bounded(4) == 0;
        runeword.text = QStringLiteral("Needs level %1\r\n+%2% enhanced damage\r\n+%3 to life")
                            .arg(random.bounded(1, 90))
                            .arg(random.bounded(10, 300))
                            .arg(random.bounded(5, 100));
        data.runewords << runeword;
    }
    return data;
}

std::unique_ptr<Dataset> makeDataset(const GameData &data, const QString &label)
{
    auto dataset = std::make_unique<Dataset>();
    if (!dataset->dir.isValid())
        fail(QStringLiteral("cannot make a temporary folder"));
    dataset->label = label;
    dataset->runewords = int(data.runewords.size());
    const QString sources = QStringLiteral(TESSALY_GAMEDATA_DIR);
    writeDataFile(data, readSchema(sources),
                  dataset->dir.filePath(QStringLiteral("newRunewords.mdb")));
    writeRunePictures(dataset->dir.filePath(QStringLiteral("CRunes")));
    return dataset;
}
