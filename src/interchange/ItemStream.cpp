#include "ItemStream.h"

#include "WyxContainer.h"

#include <QXmlStreamReader>

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
                        if (!element.values[k] && name == QLatin1StringView(m_attributes.at(k)))
                            element.values[k] = value.value().toUtf8();
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

bool ItemStream::readAll(const QString &fileName,
                         const std::function<bool(const std::optional<QString> &)> &root,
                         QList<Section> &sections)
{
    m_fileName = fileName;
    Pass pass(fileName);
    if (!pass.start()) {
        m_loadError = pass.error();
        return false;
    }
    bool rootSeen = false;
    std::optional<SectionItems> items; // of the section being read
    while (!pass.xml().atEnd()) {
        const QXmlStreamReader::TokenType token = pass.next();
        if (token == QXmlStreamReader::Invalid) {
            m_loadError = pass.error();
            return false;
        }
        if (items) {
            if (items->ends(token, pass)) {
                const bool going = items->endText();
                items.reset();
                if (!going)
                    return false;
            } else if (!items->take(token, pass)) {
                return false;
            }
            continue;
        }
        if (token != QXmlStreamReader::StartElement || pass.depth() > 2)
            continue;
        if (pass.depth() == 1) {
            rootSeen = true;
            std::optional<QString> app;
            const QXmlStreamAttributes attributes = pass.xml().attributes();
            for (const QXmlStreamAttribute &attribute : attributes) {
                if (attribute.qualifiedName() == QLatin1StringView("app"))
                    app = attribute.value().toString();
            }
            if (!root(app))
                return false;
            continue;
        }
        const QByteArray name = pass.xml().qualifiedName().toUtf8();
        for (Section &section : sections) {
            if (section.name == name && !section.found) {
                section.found = true;
                if (section.begin)
                    section.begin();
                items.emplace(2, section.attributes, section.item);
                break;
            }
        }
    }
    if (!rootSeen) {
        m_loadError = QStringLiteral("the document has no root element");
        return false;
    }
    m_loadError.clear();
    return true;
}
