#include "XmlText.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

} // namespace

int Utf8SequenceAt(const unsigned char *s, qsizetype size, char32_t &code, int &invalid)
{
    const unsigned char c = s[0];
    int more;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        more = 1;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        more = 2;
        code = c & 0x0F;
        if (c == 0xE0)
            low = 0xA0;
        else if (c == 0xED)
            high = 0x9F; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        more = 3;
        code = c & 0x07;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F;
    } else {
        invalid = 1;
        return 0;
    }
    for (int k = 1; k <= more; ++k) {
        const unsigned char t = k < size ? s[k] : 0;
        const bool fits = k == 1 ? t >= low && t <= high : (t & 0xC0) == 0x80;
        if (k >= size || !fits) {
            invalid = k;
            return 0;
        }
        code = (code << 6) | (t & 0x3F);
    }
    return more + 1;
}

namespace {

template <bool Escape> bool carry(QByteArrayView text, std::string &out, bool content)
{
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const qsizetype size = text.size();
    bool changed = false;
    qsizetype plain = 0; // start of the bytes not yet copied
    auto copyPlain = [&](qsizetype upTo) {
        out.append(reinterpret_cast<const char *>(s) + plain, size_t(upTo - plain));
    };
    qsizetype i = 0;
    while (i < size) {
        const unsigned char c = s[i];
        if (c >= 0x80) {
            char32_t code = 0;
            int invalid = 0;
            const int length = Utf8SequenceAt(s + i, size - i, code, invalid);
            if (length > 0 && code != 0xFFFE && code != 0xFFFF) {
                i += length;
                continue;
            }
            copyPlain(i);
            out.append(kReplacement, 3);
            changed = true;
            i += length > 0 ? length : invalid;
            plain = i;
            continue;
        }
        if (c >= 0x20 && !(Escape && (c == '&' || c == '<' || c == '>' || c == '"'))) {
            ++i;
            continue;
        }
        copyPlain(i);
        plain = ++i;
        switch (c) {
        case '&':
            out.append("&amp;", 5);
            break;
        case '<':
            out.append("&lt;", 4);
            break;
        case '>':
            out.append("&gt;", 4);
            break;
        case '"':
            out.append("&quot;", 6);
            break;
        case '\t':
        case '\n':
        case '\r':
            if (content && c == '\r' && i < size && s[i] == '\n')
                break; // the line feed that follows stands for the pair
            if (Escape) {
                out.append(c == '\t' ? "&#9;" : c == '\n' ? "&#10;" : "&#13;");
            } else {
                out += char(c);
            }
            break;
        default:
            changed = true; // a control character XML cannot carry
            break;
        }
    }
    copyPlain(size);
    return changed;
}

} // namespace

bool AppendXmlText(QByteArrayView text, std::string &out, bool content)
{
    return carry<true>(text, out, content);
}

QByteArray CarriableXmlText(QByteArrayView text, bool *changed)
{
    std::string out;
    out.reserve(size_t(text.size()));
    const bool any = carry<false>(text, out, false);
    if (changed)
        *changed = any;
    return QByteArray(out.data(), qsizetype(out.size()));
}
