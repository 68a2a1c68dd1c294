// The interchange file's container: an 8-byte little-endian length (the size of the XML
// text) followed by one zlib stream holding exactly that text and nothing after it.
//
// Reading never trusts the length field for memory: the text buffer grows with what the
// stream really yields, a stream that yields more or less than the field says is refused,
// and no file may claim more than MaxTextSize.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QIODevice>
#include <QString>

#include <limits>
#include <memory>

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

private:
    bool drain(int flush);
    struct Stream;
    std::unique_ptr<Stream> m_stream;
    QIODevice &m_out;
    quint64 m_textSize = 0;
    qint64 m_start = 0;
    bool m_failed = false;
};

// Reads the text of a container file piece by piece, with the checks of read(): a length
// field above MaxTextSize, a stream that yields more or less than the field says and data
// after the stream are errors, and so (as the readers want it) are bytes that are not UTF-8
// and NUL characters. On an error reading returns -1 and why() tells.
class TextDevice : public QIODevice
{
public:
    explicit TextDevice(const QString &path);
    ~TextDevice() override;

    // Opens the file for reading and takes its length field.
    bool open();
    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;
    bool failed() const { return !m_why.isEmpty(); }
    const QString &why() const { return m_why; }
    // A reader that keeps a part of the text whole until it ends (a parser's token) marks
    // where each part begins; a part longer than maxPart bytes is an error.
    void markPart(qint64 maxPart) { m_partLimit = m_produced + maxPart; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    bool fail(const char *text);
    qint64 error(const char *text);
    bool checkText(const unsigned char *s, qint64 size);
    struct Stream;
    std::unique_ptr<Stream> m_stream;
    QFile m_file;
    QString m_why;
    quint64 m_length = 0;
    bool m_ended = false;
    qint64 m_produced = 0;
    qint64 m_partLimit = std::numeric_limits<qint64>::max();
    // The UTF-8 check across pieces: continuation bytes still owed, and the range of the next.
    int m_owed = 0;
    unsigned char m_low = 0x80, m_high = 0xBF;
};

// Reads a whole container from the device's current position. On success text holds the
// document; on failure why tells what was wrong (for diagnostics; the user sees one text).
bool read(QIODevice &in, QByteArray &text, QString *why = nullptr);
bool readFile(const QString &path, QByteArray &text, QString *why = nullptr);

// The whole container of text in memory (tests, tools, measurements).
QByteArray encode(QByteArrayView text);
bool decode(const QByteArray &container, QByteArray &text, QString *why = nullptr);

} // namespace WyxContainer
