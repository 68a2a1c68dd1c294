// Texts as an XML 1.0 document can carry them. A stored text may hold anything: bytes that
// are not UTF-8, NUL and other control characters, encoded surrogates, U+FFFE. The writers
// put each text down so that every XML parser reads the file, and the readers take back
// exactly what was written:
//   - bytes that are not UTF-8 (an encoded surrogate among them) become U+FFFD, one for
//     each maximal part that does not begin a valid sequence, as Unicode recommends;
//   - U+FFFE and U+FFFF, which XML forbids, become U+FFFD;
//   - control characters XML forbids (U+0000 to U+001F except tab, line feed and carriage
//     return) are dropped;
//   - tab, line feed and carriage return are written as character references, so that the
//     parser's normalisation of attribute values keeps them.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <string>

// The length of the well-formed UTF-8 sequence at s (at most size bytes, size > 0) and its
// code point; 0 when there is none, with invalid set to the length of the maximal part that
// does not begin one (at least 1). Overlong forms, surrogates and values above U+10FFFF are
// not well-formed.
int Utf8SequenceAt(const unsigned char *s, qsizetype size, char32_t &code, int &invalid);

// Appends text to out as the value of a double-quoted attribute, escaped. With content set,
// each CR LF becomes one line feed (the readers store it back as CR LF). True when the text
// had to change to be carried (beyond the CR LF rule).
bool AppendXmlText(QByteArrayView text, std::string &out, bool content = false);

// The text with those changes but without escaping, for a writer that escapes by itself.
// changed tells whether anything had to change.
QByteArray CarriableXmlText(QByteArrayView text, bool *changed = nullptr);
