#include "textblock.h"

#include <QStringDecoder>

#include <algorithm>

QStringView TextBlock::at(int i) const
{
    const qsizetype start = i == 0 ? 0 : ends_[size_t(i - 1)];
    return QStringView(chars_).mid(start, ends_[size_t(i)] - start);
}

int TextBlock::indexOf(QStringView text) const
{
    for (int i = 0; i < size(); ++i) {
        if (at(i) == text)
            return i;
    }
    return -1;
}

QChar *TextBlock::room(qsizetype units)
{
    if (used_ + units > chars_.size())
        chars_.resize(std::max(chars_.size() * 2, used_ + units + 4096));
    return chars_.data() + used_;
}

void TextBlock::close(const QChar *end)
{
    used_ = end - chars_.constData();
    ends_.push_back(used_);
}

void TextBlock::append(QStringView text)
{
    QChar *start = room(text.size());
    std::copy(text.begin(), text.end(), start);
    close(start + text.size());
}

void TextBlock::appendUtf8(QByteArrayView utf8)
{
    // A UTF-8 sequence never takes more UTF-16 units than it has bytes.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    close(decoder.appendToBuffer(room(utf8.size()), utf8));
}

void TextBlock::append(const TextBlock &texts)
{
    reserve(size() + texts.size());
    for (int i = 0; i < texts.size(); ++i)
        append(texts.at(i));
}
