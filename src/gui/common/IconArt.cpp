// The program's icons, painted with QPainter for the exact pixel size they are shown at.
//
// Every icon is designed on a 16-unit grid. At 16 px one unit is one pixel; at other sizes the
// grid is scaled and the edges of straight parts are rounded to whole pixels, so outlines and
// bars stay sharp at 16, 22, 32 px and on HiDPI screens. Outlined parts are painted on their own
// layer: the fill first, then an outline laid only on the inside of the shape's edge, which
// keeps outlines exactly one device pixel wide (more from 28 px up) without half-pixel blur.
#include "common/IconArt.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPalette>
#include <QPixmap>
#include <QRadialGradient>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>

namespace {

// ---------------------------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------------------------

// A material: a vertical gradient from `top` to `bottom` with a darker outline.
struct Tone
{
    QColor top;
    QColor bottom;
    QColor edge;
};

const Tone kGreen{QColor(0x95, 0xd8, 0x6e), QColor(0x47, 0x9e, 0x2f), QColor(0x2c, 0x6e, 0x1e)};
const Tone kBlue{QColor(0x86, 0xc1, 0xf4), QColor(0x2f, 0x7a, 0xcb), QColor(0x1b, 0x51, 0x94)};
const Tone kRed{QColor(0xf6, 0x8a, 0x80), QColor(0xd5, 0x39, 0x2e), QColor(0x92, 0x20, 0x1a)};
const Tone kAmber{QColor(0xff, 0xdc, 0x6a), QColor(0xf1, 0xa3, 0x15), QColor(0xa5, 0x68, 0x0a)};
const Tone kPaper{QColor(0xff, 0xff, 0xff), QColor(0xe4, 0xe9, 0xee), QColor(0x76, 0x81, 0x8d)};
const Tone kNote{QColor(0xff, 0xf8, 0xc4), QColor(0xfb, 0xe2, 0x78), QColor(0xa8, 0x8e, 0x34)};
const Tone kSteel{QColor(0xd6, 0xdc, 0xe1), QColor(0x93, 0x9c, 0xa5), QColor(0x55, 0x5e, 0x67)};
const Tone kDark{QColor(0x78, 0x83, 0x8e), QColor(0x46, 0x4f, 0x58), QColor(0x2a, 0x30, 0x36)};
const Tone kWood{QColor(0xf3, 0xd3, 0x9f), QColor(0xd7, 0xa1, 0x5c), QColor(0x8c, 0x62, 0x2b)};
const Tone kFolder{QColor(0xff, 0xd9, 0x75), QColor(0xee, 0xb0, 0x3a), QColor(0xa8, 0x76, 0x17)};
const Tone kPink{QColor(0xf8, 0xb4, 0xc0), QColor(0xe2, 0x74, 0x8b), QColor(0x9c, 0x45, 0x57)};

// Lines printed on paper: the paper stays light in every theme, so they keep a fixed colour.
const QColor kPaperInk(0x6f, 0x7c, 0x8a);
const QColor kGraphite(0x3a, 0x3f, 0x46);

// ---------------------------------------------------------------------------------------------
// Canvas: the 16-unit design grid mapped onto one square image
// ---------------------------------------------------------------------------------------------

class Canvas
{
public:
    Canvas(QImage &image, const QColor &ink)
        : m_image(image), m_painter(&image), m_k(image.width() / 16.0),
          m_lw(std::max(1, int(std::floor(m_k + 0.3)))), m_ink(ink)
    {
        m_painter.setRenderHint(QPainter::Antialiasing);
        m_painter.setPen(Qt::NoPen);
    }

    // Text-like parts drawn straight onto the background: the palette's text colour.
    QColor ink(qreal alpha = 0.62) const
    {
        QColor c = m_ink;
        c.setAlphaF(float(m_ink.alphaF() * alpha));
        return c;
    }

    qreal k() const { return m_k; }

    // Below 20 px some parts are drawn as hand-placed pixels instead of curves.
    bool pixelSized() const { return m_image.width() < 20; }

    // One design unit snapped to whole pixels.
    qreal snap(qreal v) const { return std::round(v * m_k); }

    // A rectangle whose edges lie on whole pixels; never thinner than one pixel.
    QRectF rect(qreal x, qreal y, qreal w, qreal h) const
    {
        const qreal l = snap(x), t = snap(y);
        const qreal r = std::max(snap(x + w), l + 1), b = std::max(snap(y + h), t + 1);
        return QRectF(l, t, r - l, b - t);
    }

    QPainterPath box(qreal x, qreal y, qreal w, qreal h, qreal radius = 0) const
    {
        QPainterPath p;
        if (radius > 0)
            p.addRoundedRect(rect(x, y, w, h), radius * m_k, radius * m_k);
        else
            p.addRect(rect(x, y, w, h));
        return p;
    }

    QPointF pt(qreal x, qreal y) const { return QPointF(x * m_k, y * m_k); }

    QPainterPath circle(qreal cx, qreal cy, qreal r) const
    {
        QPainterPath p;
        p.addEllipse(pt(cx, cy), r * m_k, r * m_k);
        return p;
    }

    QPainterPath poly(std::initializer_list<QPointF> points) const
    {
        QPainterPath p;
        bool first = true;
        for (const QPointF &d : points) {
            if (first)
                p.moveTo(pt(d.x(), d.y()));
            else
                p.lineTo(pt(d.x(), d.y()));
            first = false;
        }
        p.closeSubpath();
        return p;
    }

    // A path drawn in design units, brought to pixels.
    QPainterPath scaled(const QPainterPath &design) const
    {
        return QTransform::fromScale(m_k, m_k).map(design);
    }

    // The area covered by stroking a design path `width` units wide, as one outline.
    QPainterPath stroke(const QPainterPath &design, qreal width, Qt::PenCapStyle cap = Qt::RoundCap,
                        Qt::PenJoinStyle join = Qt::RoundJoin) const
    {
        QPainterPathStroker stroker;
        stroker.setWidth(width * m_k);
        stroker.setCapStyle(cap);
        stroker.setJoinStyle(join);
        return stroker.createStroke(scaled(design)).simplified();
    }

    // An arrow from (x1, y1) to its point (x2, y2), in design units.
    QPainterPath arrow(qreal x1, qreal y1, qreal x2, qreal y2, qreal shaft, qreal headLength,
                       qreal headWidth) const
    {
        const qreal dx = x2 - x1, dy = y2 - y1;
        const qreal len = std::hypot(dx, dy);
        const qreal ux = dx / len, uy = dy / len; // along the arrow
        const qreal nx = -uy, ny = ux;            // across it
        const qreal bx = x2 - ux * headLength, by = y2 - uy * headLength;
        const qreal s = shaft / 2, h = headWidth / 2;
        return poly({QPointF(x1 + nx * s, y1 + ny * s), QPointF(bx + nx * s, by + ny * s),
                     QPointF(bx + nx * h, by + ny * h), QPointF(x2, y2),
                     QPointF(bx - nx * h, by - ny * h), QPointF(bx - nx * s, by - ny * s),
                     QPointF(x1 - nx * s, y1 - ny * s)});
    }

    static QBrush gradient(const Tone &tone, const QRectF &bounds)
    {
        QLinearGradient g(bounds.topLeft(), bounds.bottomLeft());
        g.setColorAt(0, tone.top);
        g.setColorAt(1, tone.bottom);
        return QBrush(g);
    }

    // A filled shape with a gradient and an outline inside its edge.
    void shape(const QPainterPath &path, const Tone &tone)
    {
        Layer layer(*this);
        layer.fill(path, gradient(tone, path.boundingRect()));
        layer.edge(path, tone.edge);
    }

    void fill(const QPainterPath &path, const QColor &color) { m_painter.fillPath(path, color); }
    void fill(const QPainterPath &path, const QBrush &brush) { m_painter.fillPath(path, brush); }

    // A straight bar (text line, stem, separator) on whole pixels.
    void bar(qreal x, qreal y, qreal w, qreal h, const QColor &color)
    {
        m_painter.fillRect(rect(x, y, w, h), color);
    }

    // A small soft highlight: a white, mostly transparent ellipse.
    void gloss(qreal cx, qreal cy, qreal rx, qreal ry, qreal alpha = 0.7)
    {
        QRadialGradient g(pt(cx, cy), std::max(rx, ry) * m_k);
        g.setColorAt(0, QColor(255, 255, 255, int(255 * alpha)));
        g.setColorAt(1, QColor(255, 255, 255, 0));
        QPainterPath p;
        p.addEllipse(pt(cx, cy), rx * m_k, ry * m_k);
        m_painter.fillPath(p, g);
    }

    // A separate transparent layer: fills go in first, then outlines that only land where the
    // layer is already painted, then the layer is laid onto the icon.
    class Layer
    {
    public:
        explicit Layer(Canvas &canvas)
            : m_canvas(canvas), m_image(canvas.m_image.size(), QImage::Format_ARGB32_Premultiplied)
        {
            m_image.fill(Qt::transparent);
            m_painter.begin(&m_image);
            m_painter.setRenderHint(QPainter::Antialiasing);
            m_painter.setPen(Qt::NoPen);
        }
        ~Layer()
        {
            m_painter.end();
            m_canvas.m_painter.drawImage(0, 0, m_image);
        }
        Layer(const Layer &) = delete;
        Layer &operator=(const Layer &) = delete;

        void fill(const QPainterPath &path, const QBrush &brush)
        {
            m_painter.fillPath(path, brush);
        }
        void fill(const QPainterPath &path, const Tone &tone)
        {
            m_painter.fillPath(path, gradient(tone, path.boundingRect()));
        }
        void bar(qreal x, qreal y, qreal w, qreal h, const QColor &color)
        {
            m_painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
            m_painter.fillRect(m_canvas.rect(x, y, w, h), color);
            m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        // An outline of the given width (in pixels; the canvas line width by default) on the
        // inside of `path`, clipped to what the layer already holds.
        void edge(const QPainterPath &path, const QColor &color, int width = 0)
        {
            const int w = width > 0 ? width : m_canvas.m_lw;
            m_painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
            QPen pen(color, 2.0 * w, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
            m_painter.strokePath(path, pen);
            m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        QPainter &painter() { return m_painter; }

    private:
        Canvas &m_canvas;
        QImage m_image;
        QPainter m_painter;
    };

    QPainter &painter() { return m_painter; }

private:
    QImage &m_image;
    QPainter m_painter;
    qreal m_k;
    int m_lw;
    QColor m_ink;
};

// ---------------------------------------------------------------------------------------------
// Parts shared by several icons
// ---------------------------------------------------------------------------------------------

// A plus made of two bars with rounded ends: centre (cx, cy), overall size and arm thickness.
void plus(Canvas &c, qreal x, qreal y, qreal size, qreal arm, const Tone &tone)
{
    const qreal o = (size - arm) / 2;
    QPainterPath p = c.box(x + o, y, arm, size, 0.8).united(c.box(x, y + o, size, arm, 0.8));
    c.shape(p, tone);
}

// A check mark through three points, `width` units thick, outlined.
void check(Canvas &c, QPointF a, QPointF b, QPointF d, qreal width, const Tone &tone)
{
    QPainterPath line(a);
    line.lineTo(b);
    line.lineTo(d);
    c.shape(c.stroke(line, width, Qt::RoundCap, Qt::RoundJoin), tone);
}

// A cross from corner to corner of the square (x, y, size), `width` units thick.
void cross(Canvas &c, qreal x, qreal y, qreal size, qreal width, const Tone &tone,
           Qt::PenCapStyle cap = Qt::FlatCap)
{
    QPainterPath line;
    line.moveTo(x, y);
    line.lineTo(x + size, y + size);
    line.moveTo(x + size, y);
    line.lineTo(x, y + size);
    c.shape(c.stroke(line, width, cap, Qt::MiterJoin), tone);
}

// A pencil lying from its point (tx, ty) up to the right at 45 degrees.
void pencil(Canvas &c, qreal tx, qreal ty, qreal length, qreal width)
{
    QTransform t;
    t.scale(c.k(), c.k());
    t.translate(tx, ty);
    t.rotate(-45);
    const qreal h = width / 2;
    const qreal cone = width * 1.05;
    const qreal lead = cone * 0.42;
    const qreal eraser = width * 0.55;
    const qreal ferrule = width * 0.32;
    const qreal bodyEnd = length - eraser - ferrule;

    auto part = [&](const QRectF &r) {
        QPainterPath p;
        p.addRect(r);
        return t.map(p);
    };
    QPainterPath conePath;
    conePath.moveTo(0, 0);
    conePath.lineTo(cone, -h);
    conePath.lineTo(cone, h);
    conePath.closeSubpath();
    QPainterPath leadPath;
    leadPath.moveTo(0, 0);
    leadPath.lineTo(lead, -h * lead / cone);
    leadPath.lineTo(lead, h * lead / cone);
    leadPath.closeSubpath();

    const QPainterPath body = part(QRectF(cone, -h, bodyEnd - cone, width));
    const QPainterPath band = part(QRectF(bodyEnd, -h, ferrule, width));
    QPainterPath rubber;
    rubber.addRoundedRect(QRectF(bodyEnd + ferrule, -h, eraser, width), width * 0.3, width * 0.3);
    rubber = t.map(rubber).united(part(QRectF(bodyEnd + ferrule, -h, eraser / 2, width)));
    const QPainterPath wood = t.map(conePath);
    const QPainterPath whole = body.united(band).united(rubber).united(wood);

    Canvas::Layer layer(c);
    layer.fill(wood, kWood);
    layer.fill(t.map(leadPath), QBrush(kGraphite));
    layer.fill(body, kAmber);
    // a darker facet along the lower side of the body gives it some roundness
    layer.fill(part(QRectF(cone, h * 0.15, bodyEnd - cone, h * 0.85)),
               QBrush(QColor(0xe0, 0x7f, 0x10, 150)));
    layer.fill(band, kSteel);
    layer.fill(rubber, kPink);
    layer.edge(whole, QColor(0x5a, 0x45, 0x22));
}

// A calendar page: binding rings on top, a coloured header and a grid of days.
void calendar(Canvas &c, qreal x, qreal y, qreal w, qreal h, const Tone &header, bool marked)
{
    const QPainterPath page = c.box(x, y + 1, w, h - 1, 1.2);
    const qreal headerH = std::round(h * 0.33);
    {
        Canvas::Layer layer(c);
        layer.fill(page, kPaper);
        layer.fill(c.box(x, y + 1, w, headerH), header);
        layer.edge(page, kPaper.edge);
        // header separator
        layer.bar(x, y + 1 + headerH - 0.01, w, 1 / c.k(), header.edge);
    }
    // days: a 3 x 2 grid
    const qreal cw = 2, gx = (w - 3 * cw) / 4;
    const qreal top = y + 1 + headerH + 1.5;
    const qreal gy = std::max(1.0, (y + h - top - 2 * cw) / 2.5);
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 3; ++col) {
            const qreal cx = x + gx + col * (cw + gx) + 0.0;
            const qreal cy = top + row * (cw + gy);
            const bool red = marked && row == 1 && col == 2;
            c.bar(std::round(cx), std::round(cy), cw, cw,
                  red ? kRed.bottom : QColor(0x9a, 0xa5, 0xb0));
        }
    }
    // the two rings
    const qreal ringX1 = x + std::round(w * 0.25), ringX2 = x + w - std::round(w * 0.25) - 1.5;
    for (qreal rx : {ringX1, ringX2}) {
        QPainterPath ring = c.box(rx, y, 1.5, 3, 0.6);
        c.shape(ring, kDark);
    }
}

// A sheet of paper with a folded corner (top right) and `lines` lines of text on it.
void sheet(Canvas &c, qreal x, qreal y, qreal w, qreal h, const Tone &tone, int lines,
           qreal fold = 3.5)
{
    const QRectF r = c.rect(x, y, w, h);
    const qreal f = c.snap(fold);
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - f, r.top());
    page.lineTo(r.right(), r.top() + f);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    QPainterPath ear;
    ear.moveTo(r.right() - f, r.top());
    ear.lineTo(r.right() - f, r.top() + f);
    ear.lineTo(r.right(), r.top() + f);
    ear.closeSubpath();
    {
        Canvas::Layer layer(c);
        layer.fill(page, tone);
        layer.edge(page, tone.edge);
        layer.fill(ear, QBrush(tone.bottom.darker(112)));
        layer.edge(ear, tone.edge);
    }
    for (int i = 0; i < lines; ++i) {
        const qreal ly = y + 3.5 + i * 2.5;
        if (ly + 1 > y + h - 1.5)
            break;
        const qreal right = (i == 0) ? w - fold - 2.5 : ((i == lines - 1) ? w * 0.45 : w - 4);
        c.bar(x + 2, std::floor(ly), std::max(right, 1.5), 1, kPaperInk);
    }
}

// A sticky note with its lower right corner turned up.
void note(Canvas &c, qreal x, qreal y, qreal w, qreal h, int lines)
{
    const QRectF r = c.rect(x, y, w, h);
    const qreal f = c.snap(std::min(w, h) * 0.3);
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right(), r.top());
    page.lineTo(r.right(), r.bottom() - f);
    page.lineTo(r.right() - f, r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    QPainterPath curl;
    curl.moveTo(r.right(), r.bottom() - f);
    curl.lineTo(r.right() - f, r.bottom() - f);
    curl.lineTo(r.right() - f, r.bottom());
    curl.closeSubpath();
    {
        Canvas::Layer layer(c);
        layer.fill(page, kNote);
        layer.edge(page, kNote.edge);
        layer.fill(curl, QBrush(QColor(0xe9, 0xc8, 0x52)));
        layer.edge(curl, kNote.edge);
    }
    for (int i = 0; i < lines; ++i) {
        const qreal ly = y + 3 + i * 2.5;
        const qreal len = (i == lines - 1) ? (w - 4) * 0.6 : w - 4;
        c.bar(x + 2, std::floor(ly), len, 1, QColor(0xa0, 0x86, 0x3a));
    }
}

// A magnifier: lens centred at (cx, cy) with radius r, handle to the lower right.
void magnifier(Canvas &c, qreal cx, qreal cy, qreal r, qreal handleEnd)
{
    QPainterPath handle;
    const qreal d = r * 0.707;
    handle.moveTo(cx + d, cy + d);
    handle.lineTo(handleEnd, handleEnd);
    c.shape(c.stroke(handle, 3.2, Qt::RoundCap), kDark);

    const qreal ring = 1.7;
    QPainterPath glass = c.circle(cx, cy, r - ring + 0.1);
    QLinearGradient g(c.pt(cx - r, cy - r), c.pt(cx + r, cy + r));
    g.setColorAt(0, QColor(0xe8, 0xf4, 0xff, 235));
    g.setColorAt(1, QColor(0x9c, 0xcb, 0xf2, 235));
    c.fill(glass, QBrush(g));
    c.gloss(cx - r * 0.3, cy - r * 0.3, r * 0.35, r * 0.3, 0.9);

    QPainterPath rim = c.circle(cx, cy, r).subtracted(c.circle(cx, cy, r - ring));
    Canvas::Layer layer(c);
    layer.fill(rim, kSteel);
    layer.edge(c.circle(cx, cy, r), kSteel.edge);
    layer.edge(c.circle(cx, cy, r - ring), kSteel.edge);
}

// A glyph given as rows of '#' cells, one pixel each at 16 px.
void pixels(Canvas &c, std::initializer_list<const char *> rows, qreal x, qreal y,
            const QColor &color)
{
    int row = 0;
    for (const char *r : rows) {
        for (int col = 0; r[col]; ++col)
            if (r[col] == '#')
                c.bar(x + col, y + row, 1, 1, color);
        ++row;
    }
}

// The digits 1 and 2 of the numbered list in a box of 3 x 5 units at (x, y).
void digit(Canvas &c, int n, qreal x, qreal y, const QColor &color)
{
    if (c.pixelSized()) {
        if (n == 1)
            pixels(c, {".#.", "##.", ".#.", ".#.", "###"}, x, y, color);
        else
            pixels(c, {"##.", "..#", ".#.", "#..", "###"}, x, y, color);
        return;
    }
    QPainterPath p;
    if (n == 1) {
        p.moveTo(x + 0.4, y + 1.2);
        p.lineTo(x + 1.6, y + 0.5);
        p.lineTo(x + 1.6, y + 5);
    } else {
        p.moveTo(x + 0.3, y + 1.4);
        p.cubicTo(x + 0.6, y + 0.2, x + 2.7, y + 0.2, x + 2.7, y + 1.6);
        p.cubicTo(x + 2.7, y + 2.6, x + 0.6, y + 3.6, x + 0.4, y + 4.5);
        p.lineTo(x + 3, y + 4.5);
    }
    c.fill(c.stroke(p, 1.05, Qt::FlatCap, Qt::MiterJoin), color);
}

// The letters of the sort icons in a box of 5 x 6 units at (x, y).
void letterA(Canvas &c, qreal x, qreal y, const QColor &color)
{
    if (c.pixelSized()) {
        pixels(c, {".###.", "##.##", "##.##", "#####", "##.##", "##.##"}, x, y, color);
        return;
    }
    QPainterPath p;
    p.moveTo(x + 0.2, y + 6);
    p.lineTo(x + 2.5, y + 0.4);
    p.lineTo(x + 4.8, y + 6);
    p.moveTo(x + 1.1, y + 4.1);
    p.lineTo(x + 3.9, y + 4.1);
    c.fill(c.stroke(p, 1.5, Qt::FlatCap, Qt::MiterJoin), color);
}

void letterZ(Canvas &c, qreal x, qreal y, const QColor &color)
{
    if (c.pixelSized()) {
        pixels(c, {"#####", "...##", "..##.", ".##..", "##...", "#####"}, x, y, color);
        return;
    }
    c.bar(x, y, 5, 1.4, color);
    c.bar(x, y + 4.6, 5, 1.4, color);
    QPainterPath d;
    d.moveTo(x + 4.6, y + 1.2);
    d.lineTo(x + 0.4, y + 4.8);
    c.fill(c.stroke(d, 1.6, Qt::FlatCap), color);
}

// ---------------------------------------------------------------------------------------------
// The icons
// ---------------------------------------------------------------------------------------------

void drawIcon(Canvas &c, IconId id)
{
    switch (id) {
    case IconId::AddItem:
        plus(c, 2, 2, 12, 4, kGreen);
        break;

    case IconId::AddChild:
        c.bar(1, 1, 10, 2, c.ink());
        c.bar(3, 3, 1, 7, c.ink(0.45));
        c.bar(4, 9, 2, 1, c.ink(0.45));
        plus(c, 6, 5, 10, 4, kGreen);
        break;

    case IconId::Edit:
        pencil(c, 1.3, 14.7, 18.5, 5.4);
        break;

    case IconId::Delete:
        cross(c, 3, 3, 10, 4.2, kRed);
        break;

    case IconId::SortAsc:
    case IconId::SortDesc: {
        const QColor letters = c.ink(0.9);
        if (id == IconId::SortAsc) {
            letterA(c, 1, 1, letters);
            letterZ(c, 1, 9, letters);
        } else {
            letterZ(c, 1, 1, letters);
            letterA(c, 1, 9, letters);
        }
        c.shape(c.arrow(11.5, 1, 11.5, 15.5, 3, 5.5, 7), kBlue);
        break;
    }

    case IconId::ViewList: {
        const QColor num = kBlue.bottom;
        for (int i = 0; i < 2; ++i) {
            const qreal y = 2 + i * 7;
            digit(c, i + 1, 1, y, num);
            c.bar(6, y, 9, 2, c.ink());
            c.bar(6, y + 3, 6, 2, c.ink());
        }
        break;
    }

    case IconId::ViewDate: {
        const QPainterPath page = c.box(0, 1, 10, 9, 1);
        {
            Canvas::Layer layer(c);
            layer.fill(page, kPaper);
            layer.fill(c.box(0, 1, 10, 3), kBlue);
            layer.edge(page, kPaper.edge);
        }
        const QColor day(0x9a, 0xa5, 0xb0);
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 3; ++col)
                c.bar(2 + col * 2.2, 5.5 + row * 2, 1.2, 1, day);
        c.bar(2.5, 0, 1, 2.2, kGraphite);
        c.bar(6.5, 0, 1, 2.2, kGraphite);
        c.bar(12, 3, 4, 2, c.ink());
        c.bar(12, 7, 4, 2, c.ink());
        c.bar(0, 12, 16, 2, c.ink());
        break;
    }

    case IconId::ExpandAll:
    case IconId::CollapseAll: {
        const QPainterPath frame = c.box(0, 0, 9, 9, 1);
        {
            Canvas::Layer layer(c);
            layer.fill(frame, kPaper);
            layer.edge(frame, kSteel.edge);
        }
        const QColor sign = QColor(0x2b, 0x5f, 0xa8);
        c.bar(2, 4, 5, 1, sign);
        if (id == IconId::ExpandAll)
            c.bar(4, 2, 1, 5, sign);
        c.bar(11, 3.5, 5, 2, c.ink());
        c.bar(4, 9, 1, 5, c.ink(0.4));
        c.bar(5, 13, 1, 1, c.ink(0.4));
        c.bar(7, 12.5, 9, 2, c.ink());
        break;
    }

    case IconId::TipEdit:
        pencil(c, 6.5, 9.5, 12.5, 4.4);
        check(c, QPointF(1.6, 10.4), QPointF(4.6, 13.6), QPointF(10.2, 7.3), 3.3, kGreen);
        break;

    case IconId::TipInfo: {
        c.shape(c.circle(8, 8, 7.5), kBlue);
        c.gloss(6, 4.5, 4, 2.5, 0.45);
        const QColor w(255, 255, 255);
        c.bar(7, 3, 2, 2, w);
        c.bar(7, 6, 2, 7, w);
        c.bar(6, 6, 1, 1, w);
        c.bar(6, 12, 4, 1, w);
        break;
    }

    case IconId::Search:
        magnifier(c, 6.5, 6.5, 5.5, 14.3);
        break;

    case IconId::ClearSearch:
        magnifier(c, 6.5, 6.5, 5.5, 14.3);
        {
            QPainterPath x;
            x.moveTo(4.4, 4.4);
            x.lineTo(8.6, 8.6);
            x.moveTo(8.6, 4.4);
            x.lineTo(4.4, 8.6);
            c.fill(c.stroke(x, 1.7, Qt::RoundCap), kRed.bottom);
        }
        break;

    case IconId::Alarm: {
        // bells and legs behind the body
        QPainterPath legs;
        legs.moveTo(4.6, 13);
        legs.lineTo(3, 15.2);
        legs.moveTo(11.4, 13);
        legs.lineTo(13, 15.2);
        c.fill(c.stroke(legs, 1.6, Qt::RoundCap), kDark.bottom);
        c.shape(c.circle(3.6, 3.6, 2.9).subtracted(c.circle(5.5, 5.5, 2.9)), kAmber);
        c.shape(c.circle(12.4, 3.6, 2.9).subtracted(c.circle(10.5, 5.5, 2.9)), kAmber);
        c.shape(c.circle(8, 9, 6.5), kAmber);
        c.shape(c.circle(8, 9, 4.6), kPaper);
        c.bar(7.5, 5.5, 1, 4, kGraphite);
        c.bar(8, 8.5, 2.5, 1, kGraphite);
        c.bar(7.5, 8.5, 1, 1, kRed.bottom);
        break;
    }

    case IconId::Overdue:
        calendar(c, 1, 0, 14, 15, kRed, true);
        break;

    case IconId::Due:
        calendar(c, 1, 0, 14, 15, kBlue, false);
        break;

    case IconId::DueSet: {
        calendar(c, 0, 2, 13, 14, kBlue, false);
        QPainterPath needle;
        needle.moveTo(12, 5);
        needle.lineTo(9.2, 7.8);
        c.fill(c.stroke(needle, 1.2, Qt::RoundCap), kSteel.edge);
        c.shape(c.circle(12.6, 3.4, 2.9), kRed);
        c.gloss(11.8, 2.6, 1.3, 1, 0.8);
        break;
    }

    case IconId::MemoTop:
        note(c, 1, 1, 14, 14, 4);
        break;

    case IconId::MemoChild:
        note(c, 3, 3, 10, 10, 2);
        break;

    case IconId::TabTasks:
        for (int i = 0; i < 3; ++i) {
            const qreal y = 1 + i * 5;
            if (i < 2) {
                QPainterPath tick;
                tick.moveTo(0.7, y + 2);
                tick.lineTo(2.3, y + 3.6);
                tick.lineTo(5.4, y + 0.3);
                c.fill(c.stroke(tick, 1.7, Qt::FlatCap, Qt::MiterJoin), kGreen.bottom);
            } else {
                const QPainterPath b = c.box(1, y, 4, 4);
                Canvas::Layer layer(c);
                layer.fill(b, kPaper);
                layer.edge(b, kSteel.edge);
            }
            c.bar(7, y + 1, 9, 2, c.ink());
        }
        break;

    case IconId::TabMemos: {
        const QPainterPath pad = c.box(1, 2, 14, 14, 1);
        {
            Canvas::Layer layer(c);
            layer.fill(pad, kNote);
            layer.fill(c.box(1, 2, 14, 3), kBlue);
            layer.edge(pad, kNote.edge);
        }
        for (int i = 0; i < 3; ++i)
            c.shape(c.box(3.5 + i * 4, 0, 1.5, 4, 0.7), kSteel);
        for (int i = 0; i < 4; ++i) {
            const qreal len = (i == 3) ? 6 : 10;
            c.bar(3, 7 + i * 2.2, len, 1, QColor(0xa0, 0x86, 0x3a));
        }
        break;
    }

    case IconId::StatusBulb: {
        QPainterPath glass = c.circle(8, 6.2, 5.6);
        glass = glass.united(
            c.poly({QPointF(4.2, 9), QPointF(11.8, 9), QPointF(10.5, 11.5), QPointF(5.5, 11.5)}));
        QRadialGradient g(c.pt(7, 5), 7 * c.k());
        g.setColorAt(0, QColor(0xff, 0xfb, 0xd8));
        g.setColorAt(0.55, QColor(0xff, 0xe0, 0x5a));
        g.setColorAt(1, QColor(0xf2, 0xa9, 0x1c));
        {
            Canvas::Layer layer(c);
            layer.fill(glass, QBrush(g));
            layer.edge(glass, kAmber.edge);
        }
        QPainterPath wire;
        wire.moveTo(6.6, 11);
        wire.lineTo(6.6, 8.2);
        wire.lineTo(9.4, 8.2);
        wire.lineTo(9.4, 11);
        c.fill(c.stroke(wire, 0.9, Qt::FlatCap, Qt::MiterJoin), QColor(0xc9, 0x7a, 0x10, 200));
        c.gloss(6.3, 4.3, 1.8, 1.5, 0.95);
        {
            const QPainterPath base = c.box(5, 11, 6, 3.5, 0.6);
            Canvas::Layer layer(c);
            layer.fill(base, kSteel);
            layer.bar(5, 12.5, 6, 1 / c.k(), kSteel.edge);
            layer.edge(base, kSteel.edge);
        }
        c.shape(c.box(6.5, 14, 3, 1.8, 0.8), kDark);
        break;
    }

    case IconId::Save: {
        const QPainterPath body = c.poly(
            {QPointF(1, 1), QPointF(13, 1), QPointF(15, 3), QPointF(15, 15), QPointF(1, 15)});
        {
            Canvas::Layer layer(c);
            layer.fill(body, kBlue);
            layer.edge(body, kBlue.edge);
        }
        const QPainterPath shutter = c.box(4, 1, 8, 5);
        {
            Canvas::Layer layer(c);
            layer.fill(shutter, kSteel);
            layer.edge(shutter, kSteel.edge);
        }
        c.bar(9, 2, 1.5, 3, kDark.bottom);
        const QPainterPath label = c.box(3, 8.5, 10, 6.5, 0.5);
        {
            Canvas::Layer layer(c);
            layer.fill(label, kPaper);
            layer.edge(label, kBlue.edge);
        }
        c.bar(4.5, 10.5, 7, 1, kPaperInk);
        c.bar(4.5, 12.5, 5, 1, kPaperInk);
        break;
    }

    case IconId::Print: {
        sheet(c, 4, 0.5, 8, 7, kPaper, 0, 0);
        const QPainterPath body = c.box(0.5, 5, 15, 7.5, 1.5);
        {
            Canvas::Layer layer(c);
            layer.fill(body, kSteel);
            layer.edge(body, kSteel.edge);
        }
        c.bar(2.5, 7, 1.5, 1.5, kGreen.bottom);
        c.bar(3, 10, 10, 1.5, kDark.edge);
        const QPainterPath out = c.box(4, 10.5, 8, 5);
        {
            Canvas::Layer layer(c);
            layer.fill(out, kPaper);
            layer.edge(out, kPaper.edge);
        }
        c.bar(5.5, 12, 5, 1, kPaperInk);
        c.bar(5.5, 13.5, 3.5, 1, kPaperInk);
        break;
    }

    case IconId::Color: {
        QPainterPath board;
        board.addEllipse(c.pt(0.5, 1.5).x(), c.pt(0.5, 1.5).y(), 15 * c.k(), 13 * c.k());
        board = board.subtracted(c.circle(10.5, 11, 1.6));
        board = board.subtracted(c.circle(14.5, 12.5, 2.6));
        c.shape(board, kWood);
        const std::array<std::pair<QPointF, const Tone *>, 4> dots = {
            std::pair<QPointF, const Tone *>{QPointF(4, 9.2), &kRed},
            {QPointF(4.3, 5.2), &kAmber},
            {QPointF(8, 3.8), &kGreen},
            {QPointF(11.8, 5.3), &kBlue},
        };
        for (const auto &[p, tone] : dots)
            c.shape(c.circle(p.x(), p.y(), 1.8), *tone);
        break;
    }

    case IconId::Reminder: {
        c.shape(c.circle(8, 13.6, 1.9), kDark);
        QPainterPath bell;
        bell.moveTo(1.5, 13);
        bell.cubicTo(3, 11.5, 3.3, 10, 3.3, 7.5);
        bell.cubicTo(3.3, 4.2, 5.5, 2.5, 8, 2.5);
        bell.cubicTo(10.5, 2.5, 12.7, 4.2, 12.7, 7.5);
        bell.cubicTo(12.7, 10, 13, 11.5, 14.5, 13);
        bell.closeSubpath();
        const QPainterPath b = c.scaled(bell).united(c.box(1.5, 12, 13, 2, 0.8));
        c.shape(c.circle(8, 2.2, 1.5), kAmber);
        c.shape(b, kAmber);
        c.gloss(5.8, 6, 1.4, 2.6, 0.8);
        break;
    }
    }
}

// ---------------------------------------------------------------------------------------------
// The engine
// ---------------------------------------------------------------------------------------------

// Grey, flat and faint: how a command that cannot be used looks.
void makeDisabled(QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = line[x];
            const int a = qAlpha(px);
            if (a == 0)
                continue;
            // unpremultiply, take the luminance, squeeze the contrast towards a mid grey
            const int r = qRed(px) * 255 / a, g = qGreen(px) * 255 / a, b = qBlue(px) * 255 / a;
            const int lum = (r * 11 + g * 16 + b * 5) / 32;
            const int grey = std::clamp(72 + lum * 11 / 20, 0, 255);
            const int na = a * 45 / 100;
            line[x] = qPremultiply(qRgba(grey, grey, grey, na));
        }
    }
}

class ArtEngine : public QIconEngine
{
public:
    explicit ArtEngine(IconId id) : m_id(id) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = std::min(rect.width(), rect.height());
        if (side <= 0)
            return;
        const QPixmap pm = scaledPixmap(QSize(side, side) * dpr, mode, state, dpr);
        const QRectF target(rect.x() + (rect.width() - side) / 2.0,
                            rect.y() + (rect.height() - side) / 2.0, side, side);
        painter->drawPixmap(target, pm, QRectF(pm.rect()));
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return QSize(side, side);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` is in device pixels already; `scale` is the ratio the pixmap is meant for.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return QPixmap();
        const QPalette pal = QGuiApplication::palette();
        const QColor ink =
            pal.color(QPalette::Active,
                      mode == QIcon::Selected ? QPalette::HighlightedText : QPalette::WindowText);
        const Key key{side, int(mode), int(state), ink.rgba()};
        auto it = m_cache.constFind(key);
        QPixmap pm;
        if (it != m_cache.constEnd()) {
            pm = it.value();
        } else {
            pm = QPixmap::fromImage(render(side, mode, ink));
            if (m_cache.size() > 48)
                m_cache.clear();
            m_cache.insert(key, pm);
        }
        pm.setDevicePixelRatio(scale > 0 ? scale : 1.0);
        return pm;
    }

    QIconEngine *clone() const override { return new ArtEngine(m_id); }

    QString key() const override { return QStringLiteral("IconArt"); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(22, 22), QSize(32, 32)};
    }

private:
    struct Key
    {
        int side;
        int mode;
        int state;
        QRgb ink;
        bool operator==(const Key &o) const
        {
            return side == o.side && mode == o.mode && state == o.state && ink == o.ink;
        }
    };
    friend size_t qHash(const Key &k, size_t seed = 0)
    {
        return qHashMulti(seed, k.side, k.mode, k.state, k.ink);
    }

    QImage render(int side, QIcon::Mode mode, const QColor &ink) const
    {
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            Canvas canvas(image, ink);
            drawIcon(canvas, m_id);
        }
        if (mode == QIcon::Disabled)
            makeDisabled(image);
        return image;
    }

    IconId m_id;
    QHash<Key, QPixmap> m_cache;
};

// A one-colour ("-symbolic") theme icon, drawn in the palette's text colour so it stays
// visible on light and dark desktops alike.
class TintEngine : public QIconEngine
{
public:
    explicit TintEngine(const QIcon &shape) : m_shape(shape) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, ratio));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        QPixmap shape = m_shape.pixmap(size, scale, QIcon::Normal, state);
        if (shape.isNull())
            return shape;
        const QPalette palette = QGuiApplication::palette();
        QColor ink = palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                                   mode == QIcon::Selected ? QPalette::HighlightedText
                                                           : QPalette::ButtonText);
        QPainter painter(&shape);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(QRect(QPoint(0, 0), shape.size()), ink);
        return shape;
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_shape.actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return m_shape.availableSizes(mode, state);
    }
    QIconEngine *clone() const override { return new TintEngine(m_shape); }
    QString key() const override { return QStringLiteral("IconArtTint"); }
    QString iconName() override { return m_shape.name(); }

private:
    QIcon m_shape;
};

} // namespace

namespace IconArt {

QString themeName(IconId id)
{
    switch (id) {
    case IconId::AddItem:
        return QStringLiteral("list-add");
    case IconId::Edit:
        return QStringLiteral("document-edit");
    case IconId::Delete:
        return QStringLiteral("edit-delete");
    case IconId::SortAsc:
        return QStringLiteral("view-sort-ascending");
    case IconId::SortDesc:
        return QStringLiteral("view-sort-descending");
    case IconId::ViewList:
        return QStringLiteral("view-list-details");
    case IconId::ViewDate:
        return QStringLiteral("view-calendar");
    case IconId::ExpandAll:
        return QStringLiteral("expand-all");
    case IconId::CollapseAll:
        return QStringLiteral("collapse-all");
    case IconId::Search:
        return QStringLiteral("edit-find");
    case IconId::ClearSearch:
        return QStringLiteral("edit-clear");
    case IconId::Save:
        return QStringLiteral("document-save");
    case IconId::Print:
        return QStringLiteral("document-print");
    default:
        // Adding a child, the tips, the row marks and the dialogs' pictures are the program's.
        return {};
    }
}

QIcon commandIcon(IconId id)
{
    const QString name = themeName(id);
    if (!name.isEmpty()) {
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
        // Themes that draw their commands in one colour only name them "-symbolic".
        const QString symbolic = name + QStringLiteral("-symbolic");
        if (QIcon::hasThemeIcon(symbolic))
            return QIcon(new TintEngine(QIcon::fromTheme(symbolic)));
    }
    return icon(id);
}

// One shared icon per picture, so every view that shows it reuses the same pixmap cache. The
// icons are let go when the application object goes away, while pixmaps can still be freed.
QIcon icon(IconId id)
{
    static QHash<int, QIcon> *shared = nullptr;
    if (!shared) {
        shared = new QHash<int, QIcon>;
        qAddPostRoutine([] {
            delete shared;
            shared = nullptr;
        });
    }
    auto it = shared->find(int(id));
    if (it == shared->end())
        it = shared->insert(int(id), QIcon(new ArtEngine(id)));
    return it.value();
}

} // namespace IconArt
