// artgen: draws the program's artwork and synthesises its alarm sound.
//
// Usage: artgen OUTDIR
// Writes OUTDIR/Images/*.bmp, OUTDIR/Images/appIcon*.png and OUTDIR/Sounds/Alarm.wav.
// Everything is generated procedurally with QtGui; no external files or fonts are read.

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

bool g_ok = true;

void report(const QString &message)
{
    std::fprintf(stderr, "artgen: %s\n", qPrintable(message));
    g_ok = false;
}

// ---------------------------------------------------------------------------------------------
// Output helpers
// ---------------------------------------------------------------------------------------------

// 96 dpi, stated explicitly so the files do not depend on the machine that built them.
constexpr int kDotsPerMeter = 3780;

void saveBmp(const QImage &image, const QString &path)
{
    QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    rgb.setDotsPerMeterX(kDotsPerMeter);
    rgb.setDotsPerMeterY(kDotsPerMeter);
    if (!rgb.save(path, "BMP"))
        report(QStringLiteral("cannot write %1").arg(path));
}

void savePng(const QImage &image, const QString &path)
{
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    argb.setDotsPerMeterX(kDotsPerMeter);
    argb.setDotsPerMeterY(kDotsPerMeter);
    if (!argb.save(path, "PNG"))
        report(QStringLiteral("cannot write %1").arg(path));
}

// ---------------------------------------------------------------------------------------------
// Tool bar and list row backgrounds
// ---------------------------------------------------------------------------------------------

struct Stop
{
    double at;
    QColor color;
};

// Fills the whole image with a purely vertical gradient, so that stretching the image in
// either direction keeps it smooth.
void fillVertical(QImage &image, std::initializer_list<Stop> stops)
{
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, image.height());
    for (const Stop &s : stops)
        g.setColorAt(s.at, s.color);
    p.fillRect(image.rect(), g);
}

void drawRow(QImage &image, int y, const QColor &color)
{
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.fillRect(QRect(0, y, image.width(), 1), color);
}

QImage toolsBarBackground()
{
    QImage img(64, 32, QImage::Format_RGB32);
    fillVertical(img, {{0.0, QColor(0xfd, 0xfe, 0xff)},
                       {0.45, QColor(0xf5, 0xf7, 0xfa)},
                       {1.0, QColor(0xe8, 0xec, 0xf1)}});
    drawRow(img, 0, QColor(255, 255, 255));
    drawRow(img, img.height() - 2, QColor(0xdd, 0xe2, 0xe9));
    drawRow(img, img.height() - 1, QColor(0xc3, 0xcb, 0xd6));
    return img;
}

QImage searchBarBackground()
{
    QImage img(64, 32, QImage::Format_RGB32);
    fillVertical(img, {{0.0, QColor(0xf6, 0xf8, 0xfc)},
                       {0.5, QColor(0xee, 0xf2, 0xf8)},
                       {1.0, QColor(0xe2, 0xe8, 0xf1)}});
    drawRow(img, 0, QColor(0xc6, 0xce, 0xda));
    drawRow(img, 1, QColor(255, 255, 255));
    drawRow(img, img.height() - 1, QColor(0xc9, 0xd1, 0xdc));
    return img;
}

QImage groupBackground()
{
    QImage img(64, 24, QImage::Format_RGB32);
    fillVertical(img, {{0.0, QColor(0xf3, 0xf7, 0xfd)}, {1.0, QColor(0xe8, 0xef, 0xf9)}});
    return img;
}

QImage itemBackground(int parity)
{
    QImage img(64, 24, QImage::Format_RGB32);
    if (parity == 0)
        fillVertical(img, {{0.0, QColor(0xff, 0xff, 0xff)}, {1.0, QColor(0xfa, 0xfb, 0xfc)}});
    else
        fillVertical(img, {{0.0, QColor(0xf3, 0xf6, 0xf9)}, {1.0, QColor(0xee, 0xf1, 0xf5)}});
    return img;
}

// ---------------------------------------------------------------------------------------------
// Application icon
// ---------------------------------------------------------------------------------------------

// Three passes of a box blur approximate a Gaussian blur.
void blurAlpha(std::vector<float> &a, int w, int h, int radius)
{
    if (radius < 1)
        return;
    std::vector<float> tmp(a.size());
    const float norm = 1.0f / float(2 * radius + 1);
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) {
            float sum = 0;
            for (int x = -radius; x <= radius; ++x)
                sum += a[y * w + std::clamp(x, 0, w - 1)];
            for (int x = 0; x < w; ++x) {
                tmp[y * w + x] = sum * norm;
                sum += a[y * w + std::min(x + radius + 1, w - 1)];
                sum -= a[y * w + std::max(x - radius, 0)];
            }
        }
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            for (int y = -radius; y <= radius; ++y)
                sum += tmp[std::clamp(y, 0, h - 1) * w + x];
            for (int y = 0; y < h; ++y) {
                a[y * w + x] = sum * norm;
                sum += tmp[std::min(y + radius + 1, h - 1) * w + x];
                sum -= tmp[std::max(y - radius, 0) * w + x];
            }
        }
    }
}

// A soft drop shadow of the given shape.
QImage shadowOf(const QPainterPath &shape, int size, double offsetY, int radius, QColor color)
{
    QImage mask(size, size, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(0, offsetY);
        p.fillPath(shape, Qt::black);
    }
    std::vector<float> alpha(std::size_t(size) * std::size_t(size));
    for (int y = 0; y < size; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(mask.constScanLine(y));
        for (int x = 0; x < size; ++x)
            alpha[std::size_t(y) * std::size_t(size) + std::size_t(x)] =
                float(qAlpha(line[x])) / 255.0f;
    }
    blurAlpha(alpha, size, size, radius);

    QImage out(size, size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const double a =
                double(alpha[std::size_t(y) * std::size_t(size) + std::size_t(x)]) * color.alphaF();
            line[x] = qRgba(int(std::lround(color.red() * a)), int(std::lround(color.green() * a)),
                            int(std::lround(color.blue() * a)), int(std::lround(255 * a)));
        }
    }
    return out;
}

QPainterPath checkMarkPath(const QRectF &r)
{
    QPainterPath path;
    path.moveTo(r.left(), r.top() + r.height() * 0.52);
    path.lineTo(r.left() + r.width() * 0.37, r.bottom());
    path.lineTo(r.right(), r.top());
    return path;
}

QPainterPath roundedRect(const QRectF &r, double radius)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// Colour palette.
const QColor kBorder(0x2a, 0x47, 0x7a);
const QColor kHeaderTop(0x6a, 0xae, 0xff);
const QColor kHeaderBottom(0x2f, 0x6a, 0xe3);
const QColor kHeaderEdge(0x22, 0x52, 0xb8);
const QColor kPaperTop(0xff, 0xff, 0xff);
const QColor kPaperBottom(0xe6, 0xec, 0xf5);
const QColor kGreenTop(0x4c, 0xdb, 0x8a);
const QColor kGreenBottom(0x1c, 0xa3, 0x57);
const QColor kGreenInk(0x17, 0x9a, 0x50);
const QColor kLineDone(0xc4, 0xce, 0xdc);
const QColor kLineOpen(0x7e, 0x8e, 0xa8);
const QColor kBoxOutline(0x95, 0xa3, 0xb8);

QImage renderIcon(int s)
{
    QImage img(s, s, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);

    const bool large = s >= 48;
    const bool small = s <= 22;

    // Notepad body, a rounded square leaving room for the drop shadow at larger sizes.
    double marginSide = 1, marginTop = 1, marginBottom = 1;
    if (large) {
        marginSide = std::round(s * 0.08);
        marginTop = std::round(s * 0.085);
        marginBottom = std::round(s * 0.095);
    } else if (s >= 32) {
        marginSide = marginTop = marginBottom = 2;
    }
    const QRectF body(marginSide, marginTop, s - 2 * marginSide, s - marginTop - marginBottom);
    const double radius = std::max(2.0, body.width() * 0.17);
    const double bw = std::max(1.0, std::round(s / 100.0));
    const QRectF inner = body.adjusted(bw, bw, -bw, -bw);
    const double innerRadius = radius - bw * 0.8;
    const QPainterPath bodyPath = roundedRect(body, radius);
    const QPainterPath innerPath = roundedRect(inner, innerRadius);

    const double headerH = std::round(inner.height() * (small ? 0.30 : 0.27));
    const double headerBottom = inner.top() + headerH;

    // Spiral binding rings, sticking out of the top edge.
    const bool rings = s >= 48;
    const int ringCount = 3;
    const double ringW = s < 128 ? std::max(2.0, std::round(s * 0.046)) : s * 0.046;
    const double ringTop = body.top() - s * 0.05;
    const double ringHoleY = inner.top() + headerH * 0.55;
    const double ringSpacing = inner.width() * 0.26;
    // Centre of ring i; below 128 px the ring's left edge falls on a whole pixel.
    auto ringX = [&](int i) {
        const double cx = inner.center().x() + (i - 1) * ringSpacing;
        return s < 128 ? std::round(cx - ringW / 2) + ringW / 2 : cx;
    };
    QPainterPath ringShapes;
    if (rings) {
        for (int i = 0; i < ringCount; ++i) {
            const double cx = ringX(i);
            ringShapes.addRoundedRect(QRectF(cx - ringW / 2, ringTop, ringW, ringHoleY - ringTop),
                                      ringW / 2, ringW / 2);
        }
    }

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Drop shadow.
    if (large) {
        const QImage shadow =
            shadowOf(bodyPath, s, s * 0.022, std::max(1, int(std::lround(s * 0.028))),
                     QColor(12, 28, 64, 120));
        p.drawImage(0, 0, shadow);
        // A tighter contact shadow keeps the edge defined.
        const QImage contact =
            shadowOf(bodyPath, s, s * 0.008, std::max(1, int(std::lround(s * 0.006))),
                     QColor(12, 28, 64, 70));
        p.drawImage(0, 0, contact);
    }

    // Border and paper.
    p.fillPath(bodyPath, kBorder);
    {
        QLinearGradient paper(0, inner.top(), 0, inner.bottom());
        paper.setColorAt(0, kPaperTop);
        paper.setColorAt(0.55, QColor(0xfa, 0xfc, 0xff));
        paper.setColorAt(1, kPaperBottom);
        p.fillPath(innerPath, paper);
    }

    p.save();
    p.setClipPath(innerPath);

    // Coloured header band.
    const QRectF header(inner.left(), inner.top(), inner.width(), headerH);
    {
        QLinearGradient g(0, header.top(), 0, header.bottom());
        g.setColorAt(0, kHeaderTop);
        g.setColorAt(1, kHeaderBottom);
        p.fillRect(header, g);
        if (!small) {
            // Gloss on the upper half.
            QLinearGradient gloss(0, header.top(), 0, header.top() + headerH * 0.6);
            gloss.setColorAt(0, QColor(255, 255, 255, 90));
            gloss.setColorAt(1, QColor(255, 255, 255, 0));
            p.fillRect(QRectF(header.left(), header.top(), header.width(), headerH * 0.6), gloss);
        }
        // Crisp seam between header and paper.
        const double seam = std::max(1.0, std::round(s / 128.0));
        p.fillRect(QRectF(header.left(), headerBottom - seam, header.width(), seam), kHeaderEdge);
        if (large) {
            // Soft shadow cast by the header onto the paper.
            const double sh = s * 0.035;
            QLinearGradient cast(0, headerBottom, 0, headerBottom + sh);
            cast.setColorAt(0, QColor(20, 50, 110, 45));
            cast.setColorAt(1, QColor(20, 50, 110, 0));
            p.fillRect(QRectF(header.left(), headerBottom, header.width(), sh), cast);
        }
    }

    // Holes for the binding rings.
    if (rings) {
        for (int i = 0; i < ringCount; ++i) {
            const double cx = ringX(i);
            const double hr = ringW * 0.78;
            QRadialGradient hole(QPointF(cx, ringHoleY - hr * 0.3), hr * 1.2);
            hole.setColorAt(0, QColor(0x0e, 0x24, 0x55));
            hole.setColorAt(1, QColor(0x1b, 0x3c, 0x85));
            p.setPen(Qt::NoPen);
            p.setBrush(hole);
            p.drawEllipse(QPointF(cx, ringHoleY), hr, hr * 0.8);
        }
    }

    // Content of the page.
    if (small) {
        // One bold check mark: the only detail that survives tray sizes.
        const double cTop = headerBottom;
        const double cH = inner.bottom() - cTop;
        QPainterPath tick;
        double pen = 2.6;
        if (s <= 16) {
            // Hand-placed on the pixel grid: 45 degree arms read best at this size.
            pen = 2.2;
            tick.moveTo(4.4, cTop + 3.6);
            tick.lineTo(6.7, cTop + 5.9);
            tick.lineTo(11.6, cTop + 1.0);
        } else {
            const double cw = inner.width() * 0.64;
            const double ch = cH * 0.58;
            tick = checkMarkPath(
                QRectF(inner.center().x() - cw / 2 - 0.2, cTop + (cH - ch) / 2 - 0.1, cw, ch));
        }
        p.setPen(QPen(kGreenInk, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    } else {
        // Below 128 px every edge is snapped to the pixel grid so the rows stay crisp.
        const bool snap = s < 128;
        auto px = [snap](double v) { return snap ? std::round(v) : v; };
        const int rows = s >= 48 ? 3 : 2;
        const double pad = px(inner.width() * 0.13);
        const double cTop = headerBottom + inner.height() * (s >= 48 ? 0.07 : 0.05);
        const double cBottom = inner.bottom() - inner.height() * (s >= 48 ? 0.08 : 0.06);
        const double rowH = (cBottom - cTop) / rows;
        const double box = px(rowH * (s >= 128 ? 0.64 : 0.8));
        const double lineW = snap ? std::max(2.0, std::round(box * 0.32)) : box * 0.34;
        const double lengths[3] = {0.92, 0.70, 0.82};
        for (int i = 0; i < rows; ++i) {
            const bool done = i < rows - 1;
            const QRectF boxRect(inner.left() + pad, px(cTop + rowH * (i + 0.5) - box / 2), box,
                                 box);
            const double cy = boxRect.center().y();
            const double boxRadius = box * (snap ? 0.22 : 0.26);
            if (done) {
                QLinearGradient g(0, boxRect.top(), 0, boxRect.bottom());
                g.setColorAt(0, kGreenTop);
                g.setColorAt(1, kGreenBottom);
                p.setPen(Qt::NoPen);
                p.setBrush(g);
                p.drawRoundedRect(boxRect, boxRadius, boxRadius);
                QPainterPath tick;
                if (snap) {
                    // 45 degree arms with vertices on pixel centres for a sharp tick.
                    const double l = boxRect.left() + 1.5, t = boxRect.top() + 1.5;
                    const double span = box - 3;
                    const double arm = std::max(1.0, std::round(span / 3));
                    const double rise = span - arm;
                    const double dy = std::ceil((span - rise) / 2);
                    tick.moveTo(l, t + dy + rise - arm);
                    tick.lineTo(l + arm, t + dy + rise);
                    tick.lineTo(l + span, t + dy);
                } else {
                    tick = checkMarkPath(
                        boxRect.adjusted(box * 0.22, box * 0.28, -box * 0.2, -box * 0.28));
                }
                p.setPen(QPen(Qt::white, snap ? 1.4 : box * 0.16, Qt::SolidLine, Qt::RoundCap,
                              Qt::RoundJoin));
                p.setBrush(Qt::NoBrush);
                p.drawPath(tick);
            } else {
                const double ow = snap ? 1.0 : std::max(1.0, box * 0.11);
                p.setPen(QPen(kBoxOutline, ow));
                p.setBrush(Qt::white);
                p.drawRoundedRect(boxRect.adjusted(ow / 2, ow / 2, -ow / 2, -ow / 2), boxRadius,
                                  boxRadius);
            }
            const double x0 = px(boxRect.right() + box * 0.55);
            const double xMax = px(inner.right() - pad);
            const double x1 = px(x0 + (xMax - x0) * lengths[i]);
            if (snap) {
                // Square-ended bar with softened ends: crisp at small sizes.
                const QRectF bar(x0, std::round(cy - lineW / 2), x1 - x0, lineW);
                p.setPen(Qt::NoPen);
                p.setBrush(done ? kLineDone : kLineOpen);
                p.drawRoundedRect(bar, lineW * 0.35, lineW * 0.35);
            } else {
                p.setPen(QPen(done ? kLineDone : kLineOpen, lineW, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(x0 + lineW / 2, cy), QPointF(x1 - lineW / 2, cy));
            }
        }
    }
    p.restore();

    // Thin light rim just inside the border for a finished edge.
    if (large) {
        p.setPen(QPen(QColor(255, 255, 255, 70), std::max(1.0, s / 128.0)));
        p.setBrush(Qt::NoBrush);
        const double h = std::max(1.0, s / 128.0) / 2;
        p.drawPath(roundedRect(inner.adjusted(h, h, -h, -h), innerRadius - h));
    }

    // Binding rings on top of everything.
    if (rings) {
        p.fillPath(ringShapes.translated(0, s * 0.006), QColor(10, 25, 60, 90));
        for (int i = 0; i < ringCount; ++i) {
            const double cx = ringX(i);
            const QRectF rr(cx - ringW / 2, ringTop, ringW, ringHoleY - ringTop);
            QLinearGradient metal(rr.left(), 0, rr.right(), 0);
            metal.setColorAt(0, QColor(0x8e, 0x99, 0xab));
            metal.setColorAt(0.35, QColor(0xf7, 0xf9, 0xfc));
            metal.setColorAt(1, QColor(0xa3, 0xad, 0xbd));
            p.setPen(QPen(QColor(0x3c, 0x4a, 0x63), std::max(1.0, s / 200.0)));
            p.setBrush(metal);
            p.drawRoundedRect(rr, ringW / 2, ringW / 2);
        }
    }

    p.end();
    return img;
}

// ---------------------------------------------------------------------------------------------
// Alarm sound
// ---------------------------------------------------------------------------------------------

void appendLe16(QByteArray &out, std::uint16_t v)
{
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

void appendLe32(QByteArray &out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
}

std::vector<double> synthesiseChime(int rate)
{
    constexpr double kDuration = 2.2;
    const std::size_t n = std::size_t(kDuration * rate);
    std::vector<double> buf(n, 0.0);

    struct Note
    {
        double start;
        double freq;
        double gain;
        double decay; // seconds for the fundamental to fall to 1/e
    };
    // An ascending major arpeggio, G5 - C6 - E6, like a soft glockenspiel.
    const Note notes[] = {
        {0.00, 783.99, 0.80, 0.55},
        {0.24, 1046.50, 0.80, 0.60},
        {0.48, 1318.51, 0.95, 0.75},
    };
    struct Partial
    {
        double ratio;
        double gain;
        double decayScale;
    };
    // Bell-like spectrum: strong fundamental, softer overtones that die away faster, a slightly
    // detuned twin of the fundamental for a gentle shimmer.
    const Partial partials[] = {
        {1.000, 1.00, 1.00}, {1.0025, 0.20, 1.00}, {2.000, 0.30, 0.55},
        {3.000, 0.10, 0.35}, {4.160, 0.05, 0.22},  {5.430, 0.025, 0.15},
    };
    const double attack = 0.006;
    const double twoPi = 2.0 * std::numbers::pi;

    for (const Note &note : notes) {
        const std::size_t first = std::size_t(note.start * rate);
        for (std::size_t i = first; i < n; ++i) {
            const double t = double(i - first) / rate;
            const double env =
                t < attack ? 0.5 - 0.5 * std::cos(std::numbers::pi * t / attack) : 1.0;
            double v = 0;
            for (const Partial &pt : partials) {
                const double f = note.freq * pt.ratio;
                if (f > rate * 0.45)
                    continue;
                v +=
                    pt.gain * std::exp(-t / (note.decay * pt.decayScale)) * std::sin(twoPi * f * t);
            }
            buf[i] += note.gain * env * v;
        }
    }

    // Fade the tail to exact silence so the sound never ends with a click.
    const double fade = 0.35;
    const std::size_t fadeStart = n - std::size_t(fade * rate);
    for (std::size_t i = fadeStart; i < n; ++i) {
        const double x = double(i - fadeStart) / double(n - fadeStart);
        buf[i] *= 0.5 + 0.5 * std::cos(std::numbers::pi * x);
    }

    // Normalise to a peak of -3 dBFS.
    double peak = 0;
    for (double v : buf)
        peak = std::max(peak, std::abs(v));
    const double target = std::pow(10.0, -3.0 / 20.0);
    if (peak > 0)
        for (double &v : buf)
            v *= target / peak;
    return buf;
}

void writeWav(const QString &path)
{
    constexpr int kRate = 44100;
    constexpr std::uint16_t kChannels = 1;
    constexpr std::uint16_t kBits = 16;
    const std::vector<double> samples = synthesiseChime(kRate);

    const std::uint32_t dataBytes = std::uint32_t(samples.size() * sizeof(std::int16_t));
    QByteArray out;
    out.reserve(int(44 + dataBytes));
    out.append("RIFF", 4);
    appendLe32(out, 36 + dataBytes);
    out.append("WAVE", 4);
    out.append("fmt ", 4);
    appendLe32(out, 16);                                   // fmt chunk size
    appendLe16(out, 1);                                    // PCM
    appendLe16(out, kChannels);                            // channels
    appendLe32(out, kRate);                                // sample rate
    appendLe32(out, kRate * kChannels * kBits / 8);        // byte rate
    appendLe16(out, std::uint16_t(kChannels * kBits / 8)); // block align
    appendLe16(out, kBits);                                // bits per sample
    out.append("data", 4);
    appendLe32(out, dataBytes);
    for (double v : samples) {
        const long q = std::lround(std::clamp(v, -1.0, 1.0) * 32767.0);
        appendLe16(out, std::uint16_t(std::int16_t(q)));
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        report(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
        return;
    }
    if (file.write(out) != out.size() || !file.flush()) {
        report(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        return;
    }
    file.close();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argc > 0 ? argv[0] : "artgen");
        return 2;
    }
    // Only raster painting on QImage is used (no text, no pixmaps), which needs neither an
    // application object nor a windowing system.

    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString images = outDir + QStringLiteral("/Images");
    const QString sounds = outDir + QStringLiteral("/Sounds");
    for (const QString &dir : {images, sounds}) {
        if (!QDir().mkpath(dir)) {
            report(QStringLiteral("cannot create folder %1").arg(dir));
            return 1;
        }
    }

    saveBmp(toolsBarBackground(), images + QStringLiteral("/toolsbarBackground.bmp"));
    saveBmp(searchBarBackground(), images + QStringLiteral("/searchbarBackground.bmp"));
    saveBmp(groupBackground(), images + QStringLiteral("/groupBackground.bmp"));
    saveBmp(itemBackground(0), images + QStringLiteral("/itemBackground0.bmp"));
    saveBmp(itemBackground(1), images + QStringLiteral("/itemBackground1.bmp"));

    savePng(renderIcon(256), images + QStringLiteral("/appIcon.png"));
    for (int size : {16, 22, 32, 48, 64, 128})
        savePng(renderIcon(size), images + QStringLiteral("/appIcon-%1.png").arg(size));

    writeWav(sounds + QStringLiteral("/Alarm.wav"));

    return g_ok ? 0 : 1;
}
