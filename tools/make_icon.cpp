// Draws the program's icon, a gallery of four thumbnails with one of them ticked, at each size asked
// for: <folder>/<N>x<N>/apps/<name>.png.
//   pxt_make_icon <folder> <name> <size>...
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

QImage icon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const qreal m = s * 0.04;
    QPainterPath card;
    card.addRoundedRect(QRectF(m, m, s - 2 * m, s - 2 * m), s * 0.16, s * 0.16);
    QLinearGradient back(0, 0, 0, s);
    back.setColorAt(0, QColor(0x24, 0x4a, 0x8c));
    back.setColorAt(1, QColor(0x12, 0x2a, 0x5a));
    p.fillPath(card, back);

    // Four thumbnails, each a small landscape: sky, hill, sun.
    const QColor skies[] = {QColor(0x8e, 0xc8, 0xf0), QColor(0xf6, 0xc1, 0x77), QColor(0xb7, 0xe0, 0xa4), QColor(0xf2, 0x9c, 0x9c)};
    const qreal gap = s * 0.07;
    const qreal tile = (s - 2 * m - 3 * gap) / 2;
    for (int i = 0; i < 4; ++i) {
        const QRectF r(m + gap + (i % 2) * (tile + gap), m + gap + (i / 2) * (tile + gap), tile, tile);
        p.setPen(Qt::NoPen);
        p.setBrush(skies[i]);
        p.drawRoundedRect(r, s * 0.03, s * 0.03);
        QPainterPath hill;
        hill.moveTo(r.left(), r.bottom());
        hill.quadTo(r.center().x(), r.top() + r.height() * 0.35, r.right(), r.bottom());
        hill.closeSubpath();
        p.fillPath(hill, QColor(0x2e, 0x7d, 0x32));
        if (size >= 32) {
            p.setBrush(QColor(0xff, 0xeb, 0x3b));
            p.drawEllipse(QPointF(r.left() + r.width() * 0.28, r.top() + r.height() * 0.28), r.width() * 0.11, r.width() * 0.11);
        }
    }

    // The tick of a chosen thumbnail, on the lower right one.
    const QRectF last(m + gap + tile + gap, m + gap + tile + gap, tile, tile);
    const qreal d = tile * 0.55;
    const QRectF badge(last.right() - d * 0.8, last.bottom() - d * 0.8, d, d);
    p.setBrush(QColor(0xff, 0x64, 0x1a));
    p.setPen(QPen(Qt::white, qMax<qreal>(1, s * 0.02)));
    p.drawEllipse(badge);
    QPainterPath tick;
    tick.moveTo(badge.left() + d * 0.26, badge.top() + d * 0.52);
    tick.lineTo(badge.left() + d * 0.44, badge.top() + d * 0.70);
    tick.lineTo(badge.left() + d * 0.76, badge.top() + d * 0.32);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, qMax<qreal>(1.2, d * 0.14), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    return img;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: pxt_make_icon <folder> <name> <size>...\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        if (size <= 0 || !QDir().mkpath(dir) || !icon(size).save(dir + QLatin1Char('/') + name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "pxt_make_icon: cannot write the %s icon into %s\n", argv[i], qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
