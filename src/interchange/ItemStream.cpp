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
    bool inSection = false;
    int position = 0;
    // A run of text between two other children: one item unless it is only white space.
    bool inText = false;
    bool textCounts = false;
    bool going = true;
    auto endText = [&] {
        if (inText && textCounts && going) {
            Item text;
            text.position = position++;
            going = item(text);
        }
        inText = false;
        textCounts = false;
    };
    while (going && !pass.xml().atEnd()) {
        const QXmlStreamReader::TokenType token = pass.next();
        QXmlStreamReader &xml = pass.xml();
        switch (token) {
        case QXmlStreamReader::Invalid:
            m_loadError = pass.error();
            return false;
        case QXmlStreamReader::StartElement:
            if (!inSection) {
                inSection = pass.depth() == sectionDepth &&
                            (sectionDepth == 1 || xml.qualifiedName().toUtf8() == section);
            } else if (pass.depth() == sectionDepth + 1) {
                endText();
                if (!going)
                    break;
                Item element;
                element.position = position++;
                element.element = true;
                const QXmlStreamAttributes values = xml.attributes();
                for (const QXmlStreamAttribute &value : values) {
                    const QStringView name = value.qualifiedName();
                    for (qsizetype k = 0; k < attributes.size() && k < 16; ++k) {
                        if (name == QLatin1StringView(attributes.at(k)) && !element.values[k])
                            element.values[k] = value.value().toUtf8();
                    }
                }
                going = item(element);
            }
            break;
        case QXmlStreamReader::EndElement:
            if (inSection && pass.depth() == sectionDepth - 1) {
                endText();
                return true; // the section has ended
            }
            break;
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            if (inSection && pass.depth() == sectionDepth) {
                if (token == QXmlStreamReader::Characters && xml.isCDATA()) {
                    endText();
                    if (!going)
                        break;
                    Item cdata;
                    cdata.position = position++;
                    going = item(cdata);
                } else {
                    inText = true;
                    textCounts = textCounts || !xml.isWhitespace();
                }
            }
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            if (inSection && pass.depth() == sectionDepth)
                endText();
            break;
        default:
            break;
        }
    }
    return true;
}
