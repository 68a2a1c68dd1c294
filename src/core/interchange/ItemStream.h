// The interchange file read as a stream: the document is inflated and parsed piece by piece,
// so that reading needs memory for one item at a time, whatever the file holds around the
// items (a section the readers never look at may hold any number of elements).
//
// The rules are those of the document helper (pU_XmlTry.h): the text must be UTF-8 without
// NUL characters (an optional byte order mark and XML declaration are accepted), without a
// document type declaration, well-formed, with a root element; a section is the root's first
// child element of its name (the root itself when there is none), and its items are its
// children by position whatever they are: elements, CDATA sections and runs of text that
// are not only white space. Elements nest at most MaxDepth deep, and no part of the document
// the parser keeps whole (an element's start tag with its attributes, a text, a comment) may
// be larger than MaxPart bytes: the memory of reading stays bounded whatever the file.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>

class ItemStream
{
public:
    static constexpr int MaxDepth = 1000;
    static constexpr qint64 MaxPart = qint64(16) << 20;

    // The opening pass over the whole document. False when the file cannot be opened,
    // inflated or parsed (loadError tells why).
    bool open(const QString &fileName);
    const QString &loadError() const { return m_loadError; }
    // The root's "app" attribute; nothing when it has none.
    const std::optional<QString> &app() const { return m_app; }

    // One child of a section. For an element, the value of each asked attribute (nothing when
    // missing); other children carry no attributes.
    struct Item
    {
        int position = 0;
        bool element = false;
        // The value of asked attribute k as UTF-8 ending in NUL; null when the item has none.
        const char *value(int k) const
        {
            return offsets[k] < 0 ? nullptr : texts.constData() + offsets[k];
        }
        void setValue(int k, QByteArrayView text)
        {
            offsets[k] = texts.size();
            texts.append(text);
            texts.append('\0');
        }
        // A fresh item, keeping the memory of the texts.
        void reset(int at, bool isElement)
        {
            position = at;
            element = isElement;
            texts.resize(0);
            std::fill(std::begin(offsets), std::end(offsets), -1);
        }

        QByteArray texts; // the values one after another
        qsizetype offsets[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    };

    // Reads the items of the section in order, calling item for each with the values of the
    // attributes named (at most 16); stops when item returns false. False when the file can
    // no longer be read as at open() (it changed meanwhile).
    bool readSection(const QByteArray &section, const QList<QByteArray> &attributes,
                     const std::function<bool(const Item &)> &item);

    // A section read by readAll(): its name, the attributes asked of its elements, and what
    // is called when it starts and for each of its items.
    struct Section
    {
        QByteArray name;
        QList<QByteArray> attributes;
        std::function<void()> begin;
        std::function<bool(const Item &)> item;
        bool found = false; // set when the document holds the section
    };

    // The whole document in one pass, without open(), straight from the inflated text and
    // without the parser, for the plain form the program writes: an XML declaration of
    // version 1.0 or none, the root, its child elements and in them only empty elements,
    // white space between the tags, ASCII names, and in values only the five entities of
    // XML and references to characters XML allows. root is called with the root's "app"
    // attribute, and the items of each section as the document brings them, read to the
    // same items and values as readSection() reads them. A section the document does not
    // hold is not read (found stays false; readSection() would read the root in its place).
    // False when a call returned false or the document is not of that form, which says
    // nothing about whether it is sound (open() tells); the calls made before stand.
    bool readAll(const QString &fileName,
                 const std::function<bool(const std::optional<QString> &)> &root,
                 QList<Section> &sections);

private:
    QString m_fileName;
    QString m_loadError;
    std::optional<QString> m_app;
    QList<QByteArray> m_sections; // the names of the root's child elements, each once
};
