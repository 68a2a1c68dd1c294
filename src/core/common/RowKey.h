// A row key as the records in memory hold it. A key of the program's own form, a GUID in
// braces with upper-case hexadecimal digits, is held as its 16 bytes, without a text of its
// own; "root" (the parent of the top level) and the empty key cost nothing either. Any other
// key (from a file another program wrote) keeps its text. It reads and compares like the
// text it stands for.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstddef>

class RowKey
{
public:
    RowKey() = default;
    RowKey(const QString &text) { assign(QStringView(text), &text); } // NOLINT: reads as its text
    RowKey(const RowKey &other) { copyFrom(other); }
    RowKey(RowKey &&other) noexcept;
    ~RowKey() { release(); }
    RowKey &operator=(const RowKey &other);
    RowKey &operator=(RowKey &&other) noexcept;
    RowKey &operator=(const QString &text);

    // From the UTF-8 text a database or file holds, without a passing copy.
    static RowKey fromUtf8(QByteArrayView text);

    QString toString() const;
    operator QString() const { return toString(); } // NOLINT: reads as its text
    QByteArray toUtf8() const;
    bool isEmpty() const { return m_text == nullptr; }
    qsizetype size() const;
    void clear() { release(); }
    size_t hash() const;

    friend bool operator==(const RowKey &a, const RowKey &b);
    friend bool operator!=(const RowKey &a, const RowKey &b) { return !(a == b); }
    friend bool operator==(const RowKey &a, const QString &b) { return a == RowKey(b); }
    friend bool operator!=(const RowKey &a, const QString &b) { return !(a == RowKey(b)); }
    friend bool operator==(const QString &a, const RowKey &b) { return RowKey(a) == b; }
    friend bool operator!=(const QString &a, const RowKey &b) { return !(RowKey(a) == b); }

private:
    // shared: the text to share when it is to be kept as text, if the caller has one.
    void assign(QStringView text, const QString *shared);
    void copyFrom(const RowKey &other);
    void release();
    bool ownsText() const;

    // The GUID's digits in the order they are written, when m_text is the GUID marker.
    quint64 m_high = 0;
    quint64 m_low = 0;
    // null: the empty key; the GUID marker; the shared "root"; or a text of the key's own.
    const QString *m_text = nullptr;
};

inline size_t qHash(const RowKey &key, size_t seed = 0)
{
    return key.hash() ^ seed;
}
