// The interchange file's container: an 8-byte little-endian length (the size of the XML
// text) followed by one zlib stream holding exactly that text and nothing after it.
//
// Reading never trusts the length field for memory: the text buffer grows with what the
// stream really yields, a stream that yields more or less than the field says is refused,
// and no file may claim more than MaxTextSize.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

class QIODevice;

namespace WyxContainer {

// The largest document a reader takes: far above any real database (100,000 tasks and
// 100,000 memos make about 90 MB), and a file that claims more is refused at once.
inline constexpr quint64 MaxTextSize = quint64(1) << 30;

// Compresses text into a container on a seekable device: begin(), write() the text in
// pieces, finish(). Level 9, deflate method, 15-bit window, memory level 8, default strategy.
class Writer
{
public:
    explicit Writer(QIODevice &out);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    bool begin();
    bool write(const char *data, qsizetype size);
    // Ends the stream and puts the text's length in front of it.
    bool finish();
    quint64 textSize() const { return m_textSize; }

private:
    bool drain(int flush);
    struct Stream;
    std::unique_ptr<Stream> m_stream;
    QIODevice &m_out;
    quint64 m_textSize = 0;
    qint64 m_start = 0;
    bool m_failed = false;
};

// Reads a whole container from the device's current position. On success text holds the
// document; on failure why tells what was wrong (for diagnostics; the user sees one text).
bool read(QIODevice &in, QByteArray &text, QString *why = nullptr);
bool readFile(const QString &path, QByteArray &text, QString *why = nullptr);

// The whole container of text in memory (tests, tools, measurements).
QByteArray encode(QByteArrayView text);
bool decode(const QByteArray &container, QByteArray &text, QString *why = nullptr);

} // namespace WyxContainer
