#include "ItemStream.h"

#include "WyxContainer.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

#include <cstring>
#include <utility>
#include <vector>

namespace {

// One pass over the document: the inflating device and the parser on it.
class Pass
{
public:
    explicit Pass(const QString &fileName) : m_device(fileName) {}

    bool start()
    {
        if (!m_device.open()) {
            m_error = m_device.why();
            return false;
        }
        m_xml.setNamespaceProcessing(false);
        m_xml.setDevice(&m_device);
        m_device.markPart(ItemStream::MaxPart);
        return true;
    }

    // The next token; Invalid with error() set when the document breaks a rule.
    QXmlStreamReader::TokenType next()
    {
        QXmlStreamReader::TokenType token = m_xml.readNext();
        m_device.markPart(ItemStream::MaxPart);
        if (token == QXmlStreamReader::DTD) {
            // Kept only to be refused: entities are never expanded.
            m_error = QStringLiteral("the document has a document type declaration");
            return QXmlStreamReader::Invalid;
        }
        if (token == QXmlStreamReader::StartElement && ++m_depth > ItemStream::MaxDepth) {
            m_error =
                QStringLiteral("the elements nest more than %1 deep").arg(ItemStream::MaxDepth);
            return QXmlStreamReader::Invalid;
        }
        if (token == QXmlStreamReader::EndElement)
            --m_depth;
        if (token == QXmlStreamReader::Invalid || (m_xml.atEnd() && m_device.failed())) {
            m_error = m_device.failed()
                          ? m_device.why()
                          : m_xml.errorString() +
                                QStringLiteral(" at offset %1").arg(m_xml.characterOffset());
            return QXmlStreamReader::Invalid;
        }
        return token;
    }

    QXmlStreamReader &xml() { return m_xml; }
    int depth() const { return m_depth; }
    const QString &error() const { return m_error; }

private:
    WyxContainer::TextDevice m_device;
    QXmlStreamReader m_xml;
    QString m_error;
    int m_depth = 0;
};

// The children of a section, numbered by position as the readers see them: elements, CDATA
// sections and runs of text between them that are not only white space.
class SectionItems
{
public:
    SectionItems(int depth, const QList<QByteArray> &attributes,
                 const std::function<bool(const ItemStream::Item &)> &item)
        : m_depth(depth), m_attributes(attributes), m_item(item)
    {}

    // A token inside the section. False when item asked to stop.
    bool take(QXmlStreamReader::TokenType token, Pass &pass)
    {
        QXmlStreamReader &xml = pass.xml();
        switch (token) {
        case QXmlStreamReader::StartElement:
            if (pass.depth() == m_depth + 1) {
                if (!endText())
                    return false;
                ItemStream::Item element;
                element.position = m_position++;
                element.element = true;
                const QXmlStreamAttributes values = xml.attributes();
                for (const QXmlStreamAttribute &value : values) {
                    const QStringView name = value.qualifiedName();
                    for (qsizetype k = 0; k < m_attributes.size() && k < 16; ++k) {
                        if (!element.value(int(k)) && name == QLatin1StringView(m_attributes.at(k)))
                            element.setValue(int(k), value.value().toUtf8());
                    }
                }
                m_going = m_item(element);
            }
            break;
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            if (pass.depth() == m_depth) {
                if (token == QXmlStreamReader::Characters && xml.isCDATA()) {
                    if (!endText())
                        return false;
                    ItemStream::Item cdata;
                    cdata.position = m_position++;
                    m_going = m_item(cdata);
                } else {
                    m_inText = true;
                    m_textCounts = m_textCounts || !xml.isWhitespace();
                }
            }
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            if (pass.depth() == m_depth)
                endText();
            break;
        default:
            break;
        }
        return m_going;
    }

    // Whether token ends the section.
    bool ends(QXmlStreamReader::TokenType token, const Pass &pass) const
    {
        return token == QXmlStreamReader::EndElement && pass.depth() == m_depth - 1;
    }

    // A run of text between two other children: one item unless it is only white space.
    // False when item asked to stop, now or before.
    bool endText()
    {
        if (m_inText && m_textCounts && m_going) {
            ItemStream::Item text;
            text.position = m_position++;
            m_going = m_item(text);
        }
        m_inText = false;
        m_textCounts = false;
        return m_going;
    }

private:
    const int m_depth;
    const QList<QByteArray> &m_attributes;
    const std::function<bool(const ItemStream::Item &)> &m_item;
    int m_position = 0;
    bool m_inText = false;
    bool m_textCounts = false;
    bool m_going = true;
};

} // namespace

bool ItemStream::open(const QString &fileName)
{
    m_fileName = fileName;
    m_app.reset();
    m_sections.clear();
    Pass pass(fileName);
    if (!pass.start()) {
        m_loadError = pass.error();
        return false;
    }
    bool root = false;
    while (!pass.xml().atEnd()) {
        switch (pass.next()) {
        case QXmlStreamReader::Invalid:
            m_loadError = pass.error();
            return false;
        case QXmlStreamReader::StartElement:
            if (pass.depth() == 1) {
                root = true;
                const QXmlStreamAttributes attributes = pass.xml().attributes();
                for (const QXmlStreamAttribute &attribute : attributes) {
                    if (attribute.qualifiedName() == QLatin1StringView("app"))
                        m_app = attribute.value().toString();
                }
            } else if (pass.depth() == 2) {
                const QByteArray name = pass.xml().qualifiedName().toUtf8();
                if (!m_sections.contains(name))
                    m_sections.append(name);
            }
            break;
        default:
            break;
        }
    }
    if (!root) {
        m_loadError = QStringLiteral("the document has no root element");
        return false;
    }
    m_loadError.clear();
    return true;
}

bool ItemStream::readSection(const QByteArray &section, const QList<QByteArray> &attributes,
                             const std::function<bool(const Item &)> &item)
{
    Pass pass(m_fileName);
    if (!pass.start()) {
        m_loadError = pass.error();
        return false;
    }
    // Without a section of that name the root stands for it, as a path that selects
    // nothing stays where it was.
    const int sectionDepth = m_sections.contains(section) ? 2 : 1;
    std::optional<SectionItems> items;
    while (!pass.xml().atEnd()) {
        const QXmlStreamReader::TokenType token = pass.next();
        if (token == QXmlStreamReader::Invalid) {
            m_loadError = pass.error();
            return false;
        }
        if (!items) {
            if (token == QXmlStreamReader::StartElement && pass.depth() == sectionDepth &&
                (sectionDepth == 1 || pass.xml().qualifiedName().toUtf8() == section))
                items.emplace(sectionDepth, attributes, item);
        } else if (items->ends(token, pass)) {
            items->endText();
            return true; // the section has ended
        } else if (!items->take(token, pass)) {
            return true;
        }
    }
    return true;
}

namespace {

// The document as the program writes it, read straight from the inflated bytes: an XML
// declaration of version 1.0 (optionally naming UTF-8), the root, its child elements, and in
// those only empty elements, with white space between the tags and ASCII names. It is a
// subset of what the parser reads, read to the same items and values; a document outside it
// (text, comments, CDATA, deeper elements, other names, entities beyond the five of XML,
// line breaks inside values, anything not well-formed) ends the reading as unusual without
// telling whether it is sound.
class PlainScanner
{
public:
    explicit PlainScanner(const QString &fileName) : m_device(fileName) {}

    bool start()
    {
        if (!m_device.open())
            return false;
        m_buffer.resize(kChunk);
        if (!need(3))
            return false;
        if (at(0) == '\xEF' && at(1) == '\xBB' && at(2) == '\xBF')
            m_pos += 3;
        static const QByteArrayView declarations[] = {"<?xml version=\"1.0\"?>",
                                                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"};
        need(5);
        if (available() >= 5 && view(0, 5) == "<?xml") {
            for (const QByteArrayView declaration : declarations) {
                need(declaration.size());
                if (available() >= declaration.size() &&
                    view(0, declaration.size()) == declaration) {
                    m_pos += declaration.size();
                    return true;
                }
            }
            return false;
        }
        return true;
    }

    enum class Token
    {
        Start, // a start tag; empty() tells whether it ends the element too
        End,
        Finished, // the end of the text, after the root
        Unusual,
    };

    // The next tag after white space. After Start, name() and the attributes are valid until
    // the next call.
    Token next()
    {
        for (;;) {
            if (m_pos == m_end && !need(1))
                return m_device.failed() ? Token::Unusual : Token::Finished;
            const char c = m_buffer[m_pos];
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                break;
            ++m_pos;
        }
        if (m_buffer[m_pos] != '<')
            return Token::Unusual;
        const qsizetype length = tagLength();
        if (length < 0)
            return Token::Unusual;
        const qsizetype tag = m_pos;
        m_pos += length;
        return parseTag(tag, length);
    }

    QByteArrayView name() const { return m_name; }
    bool empty() const { return m_empty; }
    int attributeCount() const { return int(m_attributes.size()); }
    QByteArrayView attributeName(int k) const { return m_attributes[size_t(k)].first; }
    // Appends the value of attribute k with its references resolved (every value was
    // checked) onto out.
    void value(int k, QByteArray &out) const { resolve(m_attributes[size_t(k)].second, &out); }

private:
    static constexpr qsizetype kChunk = 256 * 1024;

    char at(qsizetype offset) const { return m_buffer[m_pos + offset]; }
    qsizetype available() const { return m_end - m_pos; }
    QByteArrayView view(qsizetype offset, qsizetype size) const
    {
        return QByteArrayView(m_buffer.constData() + m_pos + offset, size);
    }

    // At least count bytes from the position on; false when the text ends before.
    bool need(qsizetype count)
    {
        while (available() < count) {
            if (m_pos > 0) {
                std::memmove(m_buffer.data(), m_buffer.constData() + m_pos, size_t(available()));
                m_end -= m_pos;
                m_pos = 0;
            }
            if (m_end == m_buffer.size())
                m_buffer.resize(m_buffer.size() * 2);
            const qint64 got = m_device.read(m_buffer.data() + m_end, m_buffer.size() - m_end);
            if (got <= 0)
                return false;
            m_end += got;
        }
        return true;
    }

    // The length of the tag at the position, to its closing '>' outside quotes; -1 when the
    // text ends first or the tag is longer than a part may be.
    qsizetype tagLength()
    {
        char quote = 0;
        for (qsizetype i = 1;; ++i) {
            if (i >= available() && !need(i + 1))
                return -1;
            if (i > ItemStream::MaxPart)
                return -1;
            const char c = at(i);
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return i + 1;
            }
        }
    }

    static bool nameStart(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    }
    static bool nameChar(char c)
    {
        return nameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }
    static bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

    Token parseTag(qsizetype tag, qsizetype length)
    {
        const char *s = m_buffer.constData() + tag;
        qsizetype i = 1;
        const bool end = s[i] == '/';
        if (end)
            ++i;
        auto name = [&]() -> QByteArrayView {
            const qsizetype first = i;
            if (!nameStart(s[i]))
                return {};
            while (nameChar(s[i]))
                ++i;
            return QByteArrayView(s + first, i - first);
        };
        m_name = name();
        if (m_name.isEmpty())
            return Token::Unusual;
        m_attributes.clear();
        m_empty = false;
        for (;;) {
            const qsizetype before = i;
            while (space(s[i]))
                ++i;
            if (s[i] == '>')
                return i == length - 1 ? (end ? Token::End : Token::Start) : Token::Unusual;
            if (end)
                return Token::Unusual;
            if (s[i] == '/') {
                m_empty = true;
                return i == length - 2 ? Token::Start : Token::Unusual;
            }
            if (i == before)
                return Token::Unusual; // attributes are parted by white space
            const QByteArrayView attribute = name();
            if (attribute.isEmpty() || attribute.startsWith("xmlns"))
                return Token::Unusual;
            for (const auto &[seen, value] : m_attributes) {
                if (seen == attribute)
                    return Token::Unusual;
            }
            while (space(s[i]))
                ++i;
            if (s[i] != '=')
                return Token::Unusual;
            ++i;
            while (space(s[i]))
                ++i;
            const char quote = s[i];
            if (quote != '"' && quote != '\'')
                return Token::Unusual;
            const char *close =
                static_cast<const char *>(std::memchr(s + i + 1, quote, size_t(length - i - 1)));
            if (!close)
                return Token::Unusual;
            const QByteArrayView text(s + i + 1, close - (s + i + 1));
            if (!resolve(text, nullptr))
                return Token::Unusual;
            m_attributes.emplace_back(attribute, text);
            i = close - s + 1;
        }
    }

    // A reference's text between '&' and ';', resolved onto out.
    static bool reference(QByteArrayView name, QByteArray *out)
    {
        char entity = 0;
        if (name == "lt")
            entity = '<';
        else if (name == "gt")
            entity = '>';
        else if (name == "amp")
            entity = '&';
        else if (name == "quot")
            entity = '"';
        else if (name == "apos")
            entity = '\'';
        if (entity) {
            if (out)
                *out += entity;
        } else if (name.size() < 2 || name.size() > 8 || name[0] != '#')
            return false;
        else {
            const bool hex = name[1] == 'x';
            const QByteArrayView digits = name.sliced(hex ? 2 : 1);
            if (digits.isEmpty())
                return false;
            char32_t code = 0;
            for (const char c : digits) {
                int digit = -1;
                if (c >= '0' && c <= '9')
                    digit = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    digit = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    digit = c - 'A' + 10;
                if (digit < 0)
                    return false;
                code = code * (hex ? 16 : 10) + char32_t(digit);
            }
            const bool character =
                code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
            if (!character)
                return false;
            if (out)
                *out += QString::fromUcs4(&code, 1).toUtf8();
        }
        return true;
    }

    // Resolves the references of an attribute's text onto out (when given). False when the
    // text holds what this reading leaves to the parser: a line break or tab (which the
    // parser normalises), another control character, '<', U+FFFE or U+FFFF, or a reference
    // other than the five entities of XML and characters XML allows.
    static bool resolve(QByteArrayView raw, QByteArray *out)
    {
        qsizetype plain = 0; // the start of the run not yet copied
        for (qsizetype i = 0; i < raw.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(raw[i]);
            if (c >= 0x20 && c != '&' && c != '<' && c != 0xEF)
                continue;
            if (c == 0xEF) {
                if (i + 2 < raw.size() && raw[i + 1] == '\xBF' &&
                    (raw[i + 2] == '\xBE' || raw[i + 2] == '\xBF'))
                    return false;
                continue;
            }
            if (c != '&')
                return false;
            const qsizetype semicolon = raw.indexOf(';', i);
            if (out)
                out->append(raw.sliced(plain, i - plain));
            if (semicolon < 0 || !reference(raw.sliced(i + 1, semicolon - i - 1), out))
                return false;
            i = semicolon;
            plain = i + 1;
        }
        if (out)
            out->append(raw.sliced(plain));
        return true;
    }

    WyxContainer::TextDevice m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    QByteArrayView m_name;
    bool m_empty = false;
    std::vector<std::pair<QByteArrayView, QByteArrayView>> m_attributes;
};

} // namespace

bool ItemStream::readAll(const QString &fileName,
                         const std::function<bool(const std::optional<QString> &)> &root,
                         QList<Section> &sections)
{
    m_fileName = fileName;
    m_loadError = QStringLiteral("the document is not in the plain form");
    PlainScanner scanner(fileName);
    if (!scanner.start())
        return false;
    QByteArray names[2]; // of the root and of the open section
    int depth = 0;
    bool rootDone = false;
    Section *reading = nullptr;
    int position = 0;
    QByteArray value;
    Item element; // each item in turn, in the same memory
    for (;;) {
        const PlainScanner::Token token = scanner.next();
        switch (token) {
        case PlainScanner::Token::Unusual:
            return false;
        case PlainScanner::Token::Finished:
            if (!rootDone)
                return false;
            m_loadError.clear();
            return true;
        case PlainScanner::Token::End:
            if (depth == 0 || scanner.name() != names[depth - 1])
                return false;
            --depth;
            rootDone = depth == 0;
            reading = nullptr;
            break;
        case PlainScanner::Token::Start:
            if (rootDone)
                return false; // a second root
            if (depth == 0) {
                std::optional<QString> app;
                for (int k = 0; k < scanner.attributeCount(); ++k) {
                    if (scanner.attributeName(k) == "app") {
                        value.clear();
                        scanner.value(k, value);
                        // As the parser gives it: a leading U+FEFF stays.
                        QStringDecoder utf8(QStringDecoder::Utf8,
                                            QStringDecoder::Flag::ConvertInitialBom);
                        app = utf8(value);
                    }
                }
                if (!root(app))
                    return false;
            } else if (depth == 1) {
                reading = nullptr;
                for (Section &section : sections) {
                    if (section.name == scanner.name() && !section.found) {
                        section.found = true;
                        if (section.begin)
                            section.begin();
                        reading = &section;
                        position = 0;
                        break;
                    }
                }
            } else if (!scanner.empty()) {
                return false; // an item with content
            } else if (reading) {
                element.reset(position++, true);
                for (int k = 0; k < scanner.attributeCount(); ++k) {
                    const QByteArrayView name = scanner.attributeName(k);
                    for (qsizetype a = 0; a < reading->attributes.size() && a < 16; ++a) {
                        if (name == reading->attributes.at(a)) {
                            element.offsets[a] = element.texts.size();
                            scanner.value(k, element.texts);
                            element.texts.append('\0');
                            break;
                        }
                    }
                }
                if (!reading->item(element))
                    return false;
            }
            if (scanner.empty()) {
                if (depth == 0)
                    rootDone = true;
                if (depth <= 1)
                    reading = nullptr;
            } else {
                names[depth++] = scanner.name().toByteArray();
            }
            break;
        }
    }
}
