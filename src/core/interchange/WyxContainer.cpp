#include "WyxContainer.h"

#include <QBuffer>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <vector>

#include <zlib.h>

namespace WyxContainer {

namespace {

constexpr qsizetype kChunk = 256 * 1024;
constexpr qsizetype kFirstOutput = 1024 * 1024;
// zlib counts in 32-bit units; larger pieces are passed in parts.
constexpr qsizetype kMaxPiece = qsizetype(1) << 30;

bool fail(QString *why, const char *text)
{
    if (why)
        *why = QString::fromLatin1(text);
    return false;
}

} // namespace

struct Writer::Stream
{
    z_stream zs{};
    bool initialised = false;
    std::vector<unsigned char> out = std::vector<unsigned char>(kChunk);
};

Writer::Writer(QIODevice &out) : m_stream(std::make_unique<Stream>()), m_out(out) {}

Writer::~Writer()
{
    if (m_stream->initialised)
        deflateEnd(&m_stream->zs);
}

bool Writer::begin()
{
    const char placeholder[8] = {};
    m_start = m_out.pos();
    if (m_out.write(placeholder, 8) != 8)
        return false;
    if (deflateInit2(&m_stream->zs, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    m_stream->initialised = true;
    m_stream->zs.next_out = m_stream->out.data();
    m_stream->zs.avail_out = uInt(m_stream->out.size());
    return true;
}

bool Writer::drain(int flush)
{
    z_stream &zs = m_stream->zs;
    auto flushOutput = [&] {
        const qint64 ready = qint64(m_stream->out.size()) - zs.avail_out;
        if (ready > 0 &&
            m_out.write(reinterpret_cast<const char *>(m_stream->out.data()), ready) != ready)
            return false;
        zs.next_out = m_stream->out.data();
        zs.avail_out = uInt(m_stream->out.size());
        return true;
    };
    int result = Z_OK;
    do {
        result = deflate(&zs, flush);
        if (result == Z_STREAM_ERROR)
            return false;
        if (zs.avail_out == 0 && !flushOutput())
            return false;
    } while (flush == Z_NO_FLUSH ? zs.avail_in > 0 : result != Z_STREAM_END);
    return flush == Z_NO_FLUSH || flushOutput();
}

bool Writer::write(const char *data, qsizetype size)
{
    if (m_failed || !m_stream->initialised)
        return false;
    m_textSize += quint64(size);
    while (size > 0) {
        const qsizetype piece = std::min(size, kMaxPiece);
        m_stream->zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        m_stream->zs.avail_in = uInt(piece);
        if (!drain(Z_NO_FLUSH)) {
            m_failed = true;
            return false;
        }
        data += piece;
        size -= piece;
    }
    return true;
}

bool Writer::finish()
{
    if (m_failed || !m_stream->initialised)
        return false;
    m_stream->zs.next_in = nullptr;
    m_stream->zs.avail_in = 0;
    if (!drain(Z_FINISH))
        return false;
    unsigned char header[8];
    for (int i = 0; i < 8; ++i)
        header[i] = static_cast<unsigned char>(m_textSize >> (8 * i));
    const qint64 end = m_out.pos();
    if (!m_out.seek(m_start))
        return false;
    if (m_out.write(reinterpret_cast<const char *>(header), 8) != 8)
        return false;
    return m_out.seek(end);
}

bool read(QIODevice &in, QByteArray &text, QString *why)
{
    text.clear();
    unsigned char header[8];
    if (in.read(reinterpret_cast<char *>(header), 8) != 8)
        return fail(why, "the file is shorter than its length field");
    quint64 length = 0;
    for (int i = 7; i >= 0; --i)
        length = (length << 8) | header[i];
    if (length > MaxTextSize)
        return fail(why, "the length field is out of range");

    z_stream zs{};
    if (inflateInit2(&zs, 15) != Z_OK) // zlib wrapper only, no gzip
        return fail(why, "zlib cannot start");
    struct End
    {
        z_stream *zs;
        ~End() { inflateEnd(zs); }
    } end{&zs};

    const std::unique_ptr<char[]> input(new char[kChunk]); // not cleared: read() fills it
    bool inputEnded = false;
    QByteArray output;
    char scratch[64]; // catches a stream that goes on past the length
    for (;;) {
        if (zs.avail_in == 0 && !inputEnded) {
            const qint64 got = in.read(input.get(), kChunk);
            if (got < 0)
                return fail(why, "the file cannot be read");
            inputEnded = got == 0;
            zs.next_in = reinterpret_cast<Bytef *>(input.get());
            zs.avail_in = uInt(got);
        }
        const quint64 produced = zs.total_out;
        if (produced < length) {
            if (quint64(output.size()) == produced) {
                // Grow with what the stream really gave, never to what the field claims.
                const qsizetype grown = std::max(kFirstOutput, output.size() * 2);
                output.resize(qsizetype(std::min<quint64>(length, quint64(grown))));
            }
            zs.next_out = reinterpret_cast<Bytef *>(output.data() + produced);
            zs.avail_out =
                uInt(std::min<qsizetype>(output.size() - qsizetype(produced), kMaxPiece));
        } else {
            zs.next_out = reinterpret_cast<Bytef *>(scratch);
            zs.avail_out = sizeof scratch;
        }
        const int result = inflate(&zs, Z_NO_FLUSH);
        if (zs.total_out > length)
            return fail(why, "the stream holds more than the length field says");
        if (result == Z_STREAM_END)
            break;
        if (result == Z_BUF_ERROR) {
            if (zs.avail_in == 0 && inputEnded)
                return fail(why, "the stream is cut short");
            continue;
        }
        if (result != Z_OK)
            return fail(why, "the data is not a zlib stream");
    }
    if (zs.total_out != length)
        return fail(why, "the stream holds less than the length field says");
    if (zs.avail_in != 0)
        return fail(why, "data follows the stream");
    char probe;
    if (in.read(&probe, 1) != 0)
        return fail(why, "data follows the stream");
    output.resize(qsizetype(length));
    text = std::move(output);
    return true;
}

bool readFile(const QString &path, QByteArray &text, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(why, "the file cannot be opened");
    return read(file, text, why);
}

struct TextDevice::Stream
{
    z_stream zs{};
    bool initialised = false;
    std::vector<char> input = std::vector<char>(size_t(kChunk));
    bool inputEnded = false;
};

TextDevice::TextDevice(const QString &path) : m_stream(std::make_unique<Stream>()), m_file(path) {}

TextDevice::~TextDevice()
{
    if (m_stream->initialised)
        inflateEnd(&m_stream->zs);
}

bool TextDevice::fail(const char *text)
{
    if (m_why.isEmpty())
        m_why = QString::fromLatin1(text);
    return false;
}

qint64 TextDevice::error(const char *text)
{
    fail(text);
    return -1;
}

bool TextDevice::open()
{
    if (!m_file.open(QIODevice::ReadOnly))
        return fail("the file cannot be opened");
    unsigned char header[8];
    if (m_file.read(reinterpret_cast<char *>(header), 8) != 8)
        return fail("the file is shorter than its length field");
    for (int i = 7; i >= 0; --i)
        m_length = (m_length << 8) | header[i];
    if (m_length > MaxTextSize)
        return fail("the length field is out of range");
    if (inflateInit2(&m_stream->zs, 15) != Z_OK)
        return fail("zlib cannot start");
    m_stream->initialised = true;
    return QIODevice::open(QIODevice::ReadOnly);
}

bool TextDevice::atEnd() const
{
    return m_ended || failed();
}

qint64 TextDevice::bytesAvailable() const
{
    return QIODevice::bytesAvailable() + (atEnd() ? 0 : 1);
}

bool TextDevice::checkText(const unsigned char *s, qint64 size)
{
    constexpr quint64 ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    for (qint64 i = 0; i < size; ++i) {
        // Eight bytes at a time while they are ASCII without NUL.
        while (m_owed == 0 && i + 8 <= size) {
            quint64 word;
            std::memcpy(&word, s + i, sizeof word);
            if ((word & highs) != 0 || ((word - ones) & ~word & highs) != 0)
                break;
            i += 8;
        }
        if (i >= size)
            break;
        const unsigned char c = s[i];
        if (m_owed > 0) {
            if (c < m_low || c > m_high)
                return fail("the text is not UTF-8");
            --m_owed;
            m_low = 0x80;
            m_high = 0xBF;
            continue;
        }
        if (c == 0)
            return fail("the text holds a NUL character");
        if (c < 0x80)
            continue;
        if (c >= 0xC2 && c <= 0xDF) {
            m_owed = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            m_owed = 2;
            if (c == 0xE0)
                m_low = 0xA0;
            else if (c == 0xED)
                m_high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            m_owed = 3;
            if (c == 0xF0)
                m_low = 0x90;
            else if (c == 0xF4)
                m_high = 0x8F;
        } else {
            return fail("the text is not UTF-8");
        }
    }
    return true;
}

qint64 TextDevice::readData(char *data, qint64 maxSize)
{
    if (failed())
        return -1;
    if (m_ended || maxSize <= 0)
        return 0;
    z_stream &zs = m_stream->zs;
    zs.next_out = reinterpret_cast<Bytef *>(data);
    zs.avail_out = uInt(std::min<qint64>(maxSize, kChunk));
    while (zs.avail_out > 0) {
        if (zs.avail_in == 0 && !m_stream->inputEnded) {
            const qint64 got = m_file.read(m_stream->input.data(), kChunk);
            if (got < 0)
                return error("the file cannot be read");
            m_stream->inputEnded = got == 0;
            zs.next_in = reinterpret_cast<Bytef *>(m_stream->input.data());
            zs.avail_in = uInt(got);
        }
        const uLong before = zs.total_out;
        const int result = inflate(&zs, Z_NO_FLUSH);
        if (zs.total_out > m_length)
            return error("the stream holds more than the length field says");
        if (result == Z_STREAM_END) {
            m_ended = true;
            break;
        }
        if (result == Z_BUF_ERROR) {
            if (zs.avail_in == 0 && m_stream->inputEnded)
                return error("the stream is cut short");
            if (zs.total_out == before && zs.avail_in == 0)
                continue;
            break;
        }
        if (result != Z_OK)
            return error("the data is not a zlib stream");
        if (zs.total_out != before)
            break; // hand over what there is
    }
    const qint64 produced = qint64(zs.next_out - reinterpret_cast<Bytef *>(data));
    m_produced += produced;
    if (m_produced > m_partLimit)
        return error("a part of the document (an element, a text, a comment) is too large");
    if (m_ended) {
        char probe;
        if (zs.total_out != m_length)
            return error("the stream holds less than the length field says");
        if (zs.avail_in != 0 || m_file.read(&probe, 1) != 0)
            return error("data follows the stream");
    }
    if (!checkText(reinterpret_cast<const unsigned char *>(data), produced))
        return -1;
    if (m_ended && m_owed > 0)
        return error("the text is not UTF-8");
    return produced;
}

QByteArray encode(QByteArrayView text)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    Writer writer(buffer);
    if (!writer.begin() || !writer.write(text.data(), text.size()) || !writer.finish())
        return {};
    return buffer.data();
}

bool decode(const QByteArray &container, QByteArray &text, QString *why)
{
    QBuffer buffer;
    buffer.setData(container);
    buffer.open(QIODevice::ReadOnly);
    return read(buffer, text, why);
}

} // namespace WyxContainer
