// Txmltry: the XML document of one interchange file, addressed by comma paths.
//
// Path syntax: components separated by ","; the first stands for the root element whatever
// its name. A further component is either a name, selecting the first child element of that
// name, or a name followed by "#" and a position N counted from 0, selecting the N-th child
// whatever its name. A component that selects nothing leaves the position where it was.
// Whitespace between elements is not kept, so the N-th child of a section is its N-th item.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

#include <pugixml.hpp>

class Txmltry
{
public:
    // Receives the " not Exist !" messages (the error box in the program).
    using MessageSink = std::function<void(const QString &)>;

    explicit Txmltry(MessageSink errorBox);
    Txmltry(const Txmltry &) = delete;
    Txmltry &operator=(const Txmltry &) = delete;

    // Parses UTF-8 text as the document (the writers' skeleton).
    bool loadFromText(const QByteArray &text);
    // The reading side (LoadFromFile, CountChildren, GetAttr) has no caller in the program
    // yet: the readers stream the file through ItemStream (ItemStream.h) by the same rules.
    //
    // Reads a container file: inflates it and parses the text as UTF-8. An optional byte
    // order mark and XML declaration are accepted; text that is not UTF-8, a document type
    // declaration and anything that is not well-formed are refused.
    bool LoadFromFile(const QString &fileName);
    // Serialises the document as UTF-8 into a new container file (replacing an existing
    // file only once the new one is complete).
    bool SaveToFile(const QString &fileName) const;
    // Why the last load failed (for diagnostics).
    const QString &loadError() const { return m_loadError; }

    pugi::xml_node findNode(const QString &path);
    int CountChildren(const QString &path);
    // The attribute's value; a missing attribute shows "<path>: <name> not Exist !" and
    // gives empty text.
    QString GetAttr(const QString &path, const char *name);
    // The same as raw UTF-8 (valid while the document lives); null when missing.
    const char *rawAttr(const QString &path, const char *name);
    // Sets an attribute that exists; a missing one is not created: the same message as for
    // GetAttr, and false.
    bool SetAttr(const QString &path, const char *name, const QString &value);

    pugi::xml_document &document() { return m_doc; }

private:
    bool parseBuffer();
    void reportMissing(const QString &path, const char *name) const;
    pugi::xml_node child(pugi::xml_node parent, const QString &component);
    void forgetPaths();

    MessageSink m_errorBox;
    pugi::xml_document m_doc;
    QByteArray m_buffer; // the parsed text; the document points into it
    QString m_loadError;
    // The last path and its node, and the last positional step, so that walking a section
    // item by item does not start from its first child each time.
    QString m_lastPath;
    pugi::xml_node m_lastNode;
    pugi::xml_node m_stepParent;
    pugi::xml_node m_stepNode;
    qint64 m_stepPosition = -1;
};
