#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <vector>

// Texts kept one after another in one buffer. A list of tens of thousands of names, each a text
// of its own, cost as much to make and to free as reading the names from the file.
class TextBlock {
public:
    int size() const { return int(ends_.size()); }
    bool isEmpty() const { return ends_.empty(); }
    QStringView at(int i) const;
    // The first text equal to this one, or -1.
    int indexOf(QStringView text) const;

    void reserve(int texts) { ends_.reserve(size_t(texts)); }
    void append(QStringView text);
    // Decoded as QString::fromUtf8 decodes: a leading byte order mark is dropped and a broken
    // sequence becomes a replacement character.
    void appendUtf8(QByteArrayView utf8);
    void append(const TextBlock &texts);

private:
    // Room for so many more UTF-16 units after the used ones.
    QChar *room(qsizetype units);
    void close(const QChar *end);

    QString chars_; // longer than the used part, to grow into
    qsizetype used_ = 0;
    std::vector<qsizetype> ends_;
};
