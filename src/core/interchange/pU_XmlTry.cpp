#include "pU_XmlTry.h"

#include "IoTexts.h"
#include "WyxContainer.h"
#include "XmlText.h"

#include "common/SafeFile.h"

#include <cstring>

namespace {

// Streams pugixml's output into the container.
class ContainerSink : public pugi::xml_writer
{
public:
    explicit ContainerSink(WyxContainer::Writer &writer) : m_writer(writer) {}
    void write(const void *data, size_t size) override
    {
        if (m_ok)
            m_ok = m_writer.write(static_cast<const char *>(data), qsizetype(size));
    }
    bool ok() const { return m_ok; }

private:
    WyxContainer::Writer &m_writer;
    bool m_ok = true;
};

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values above
// U+10FFFF).
bool isValidUtf8(const char *data, qsizetype size)
{
    const auto *s = reinterpret_cast<const unsigned char *>(data);
    qsizetype i = 0;
    while (i < size) {
        // ASCII runs eight bytes at a time.
        if (i + 8 <= size) {
            quint64 word;
            std::memcpy(&word, s + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        char32_t code = 0;
        int invalid = 0;
        const int length = Utf8SequenceAt(s + i, size - i, code, invalid);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}
} // namespace

Txmltry::Txmltry(MessageSink errorBox) : m_errorBox(std::move(errorBox)) {}

void Txmltry::forgetPaths()
{
    m_lastPath.clear();
    m_lastNode = {};
    m_stepParent = {};
    m_stepNode = {};
    m_stepPosition = -1;
}

bool Txmltry::parseBuffer()
{
    forgetPaths();
    m_doc.reset();
    qsizetype offset = 0;
    if (m_buffer.startsWith("\xEF\xBB\xBF"))
        offset = 3;
    char *text = m_buffer.data() + offset;
    const qsizetype size = m_buffer.size() - offset;
    if (std::memchr(text, 0, size_t(size)) != nullptr) {
        m_loadError = QStringLiteral("the text holds a NUL character");
        return false;
    }
    if (!isValidUtf8(text, size)) {
        m_loadError = QStringLiteral("the text is not UTF-8");
        return false;
    }
    // Parsed in place: the values point into the buffer. Document type declarations are
    // kept as nodes only so that they can be refused: entities are never expanded.
    const pugi::xml_parse_result result = m_doc.load_buffer_inplace(
        text, size_t(size), pugi::parse_default | pugi::parse_doctype, pugi::encoding_utf8);
    if (!result) {
        m_loadError = QString::fromUtf8(result.description()) +
                      QStringLiteral(" at offset %1").arg(qint64(result.offset));
        m_doc.reset();
        return false;
    }
    for (pugi::xml_node node = m_doc.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_doctype) {
            m_loadError = QStringLiteral("the document has a document type declaration");
            m_doc.reset();
            return false;
        }
    }
    if (!m_doc.document_element()) {
        m_loadError = QStringLiteral("the document has no root element");
        m_doc.reset();
        return false;
    }
    m_loadError.clear();
    return true;
}

bool Txmltry::loadFromText(const QByteArray &text)
{
    m_buffer = text;
    m_buffer.detach();
    if (parseBuffer())
        return true;
    m_buffer.clear();
    return false;
}

bool Txmltry::LoadFromFile(const QString &fileName)
{
    forgetPaths();
    m_doc.reset();
    if (!WyxContainer::readFile(fileName, m_buffer, &m_loadError))
        return false;
    if (parseBuffer())
        return true;
    m_buffer.clear();
    return false;
}

bool Txmltry::SaveToFile(const QString &fileName) const
{
    SafeFile file(fileName);
    if (!file.open())
        return false;
    WyxContainer::Writer writer(file.device());
    if (!writer.begin())
        return false;
    ContainerSink sink(writer);
    m_doc.save(sink, "", pugi::format_raw, pugi::encoding_utf8);
    if (!sink.ok() || !writer.finish())
        return false;
    return file.commit();
}

pugi::xml_node Txmltry::child(pugi::xml_node parent, const QString &component)
{
    const qsizetype hash = component.indexOf(QLatin1Char('#'));
    if (hash < 0) {
        const QByteArray name = component.toUtf8();
        return parent.child(name.constData());
    }
    bool ok = false;
    const qint64 position = QStringView(component).mid(hash + 1).toLongLong(&ok);
    if (!ok || position < 0)
        return {};
    pugi::xml_node node;
    qint64 at = 0;
    if (m_stepParent == parent && m_stepNode && m_stepPosition <= position) {
        node = m_stepNode;
        at = m_stepPosition;
    } else {
        node = parent.first_child();
    }
    while (node && at < position) {
        node = node.next_sibling();
        ++at;
    }
    if (node) {
        m_stepParent = parent;
        m_stepNode = node;
        m_stepPosition = position;
    }
    return node;
}

pugi::xml_node Txmltry::findNode(const QString &path)
{
    if (m_lastNode && path == m_lastPath)
        return m_lastNode;
    pugi::xml_node node = m_doc.document_element();
    if (!node)
        return {};
    qsizetype start = path.indexOf(QLatin1Char(','));
    while (start >= 0) {
        const qsizetype next = path.indexOf(QLatin1Char(','), start + 1);
        const QString component = path.mid(start + 1, next < 0 ? -1 : next - start - 1);
        if (const pugi::xml_node found = child(node, component))
            node = found;
        start = next;
    }
    m_lastPath = path;
    m_lastNode = node;
    return node;
}

namespace {
int countChildrenOf(pugi::xml_node node)
{
    int count = 0;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        ++count;
    return count;
}
} // namespace

int Txmltry::CountChildren(const QString &path)
{
    return countChildrenOf(findNode(path));
}

void Txmltry::reportMissing(const QString &path, const char *name) const
{
    if (m_errorBox)
        m_errorBox(path + QStringLiteral(": ") + QString::fromUtf8(name) + IoTexts::NotExist);
}

const char *Txmltry::rawAttr(const QString &path, const char *name)
{
    const pugi::xml_attribute attribute = findNode(path).attribute(name);
    if (!attribute) {
        reportMissing(path, name);
        return nullptr;
    }
    return attribute.value();
}

QString Txmltry::GetAttr(const QString &path, const char *name)
{
    const char *value = rawAttr(path, name);
    return value ? QString::fromUtf8(value) : QString();
}

bool Txmltry::SetAttr(const QString &path, const char *name, const QString &value)
{
    pugi::xml_attribute attribute = findNode(path).attribute(name);
    if (!attribute) {
        reportMissing(path, name);
        return false;
    }
    return attribute.set_value(value.toUtf8().constData());
}
