#include "RowKey.h"

#include "Texts.h"

#include <QHashFunctions>

namespace {

// Marks a key held as the 16 bytes of its GUID; never read.
const QString &guidMarker()
{
    static const QString marker;
    return marker;
}

// The length of "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
constexpr qsizetype kGuidLength = 38;

bool isDash(qsizetype i)
{
    return i == 9 || i == 14 || i == 19 || i == 24;
}

// The value of an upper-case hexadecimal digit, -1 for any other character.
int digitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

char16_t at(QStringView text, qsizetype i)
{
    return text[i].unicode();
}

char16_t at(QByteArrayView text, qsizetype i)
{
    return char16_t(uchar(text[i]));
}

// Reads the program's own key form from UTF-16 or UTF-8 text.
template <class Text> bool parseGuid(Text text, quint64 &high, quint64 &low)
{
    if (text.size() != kGuidLength || at(text, 0) != u'{' || at(text, kGuidLength - 1) != u'}')
        return false;
    quint64 halves[2] = {0, 0};
    int digits = 0;
    for (qsizetype i = 1; i < kGuidLength - 1; ++i) {
        const char16_t c = at(text, i);
        if (isDash(i)) {
            if (c != u'-')
                return false;
            continue;
        }
        const int value = digitValue(c);
        if (value < 0)
            return false;
        quint64 &half = halves[digits / 16];
        half = (half << 4) | quint64(value);
        ++digits;
    }
    high = halves[0];
    low = halves[1];
    return true;
}

} // namespace

RowKey::RowKey(RowKey &&other) noexcept
    : m_high(other.m_high), m_low(other.m_low), m_text(other.m_text)
{
    other.m_text = nullptr;
}

RowKey &RowKey::operator=(const RowKey &other)
{
    if (this != &other) {
        release();
        copyFrom(other);
    }
    return *this;
}

RowKey &RowKey::operator=(RowKey &&other) noexcept
{
    if (this != &other) {
        release();
        m_high = other.m_high;
        m_low = other.m_low;
        m_text = other.m_text;
        other.m_text = nullptr;
    }
    return *this;
}

RowKey &RowKey::operator=(const QString &text)
{
    RowKey key(text);
    return *this = std::move(key);
}

RowKey RowKey::fromUtf8(QByteArrayView text)
{
    RowKey key;
    if (text.isEmpty())
        return key;
    if (parseGuid(text, key.m_high, key.m_low)) {
        key.m_text = &guidMarker();
        return key;
    }
    key.assign(QString::fromUtf8(text), nullptr);
    return key;
}

void RowKey::assign(QStringView text, const QString *shared)
{
    if (text.isEmpty())
        return;
    if (parseGuid(text, m_high, m_low)) {
        m_text = &guidMarker();
    } else if (text == Texts::RootKey) {
        m_text = &Texts::RootKey;
    } else {
        m_text = shared ? new QString(*shared) : new QString(text.toString());
    }
}

void RowKey::copyFrom(const RowKey &other)
{
    m_high = other.m_high;
    m_low = other.m_low;
    m_text = other.ownsText() ? new QString(*other.m_text) : other.m_text;
}

bool RowKey::ownsText() const
{
    return m_text != nullptr && m_text != &guidMarker() && m_text != &Texts::RootKey;
}

void RowKey::release()
{
    if (ownsText())
        delete m_text;
    m_text = nullptr;
}

QString RowKey::toString() const
{
    if (m_text != &guidMarker())
        return m_text ? *m_text : QString();
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    QString text(kGuidLength, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    out[0] = u'{';
    out[kGuidLength - 1] = u'}';
    int digit = 0;
    for (qsizetype i = 1; i < kGuidLength - 1; ++i) {
        if (isDash(i)) {
            out[i] = u'-';
            continue;
        }
        const quint64 half = digit < 16 ? m_high : m_low;
        out[i] = kDigits[(half >> (4 * (15 - digit % 16))) & 0xF];
        ++digit;
    }
    return text;
}

QByteArray RowKey::toUtf8() const
{
    return toString().toUtf8();
}

qsizetype RowKey::size() const
{
    if (m_text == &guidMarker())
        return kGuidLength;
    return m_text ? m_text->size() : 0;
}

size_t RowKey::hash() const
{
    if (m_text == &guidMarker())
        return size_t(m_high ^ (m_low * 0x9E3779B97F4A7C15ull));
    return m_text ? qHash(*m_text) : 0;
}

bool operator==(const RowKey &a, const RowKey &b)
{
    const QString &guid = guidMarker();
    if (a.m_text == &guid || b.m_text == &guid)
        return a.m_text == b.m_text && a.m_high == b.m_high && a.m_low == b.m_low;
    if (a.m_text == nullptr || b.m_text == nullptr)
        return a.m_text == b.m_text;
    return *a.m_text == *b.m_text;
}
