// Draws the splash picture (549 x 335) and the about box picture (50 x 50) and writes them as JPEG
// files: resources/splash.jpg and resources/info.jpg. Built and run by scripts/make-pictures.
// Only fixed shapes, fixed colours and the DejaVu fonts of fonts-dejavu-core go in, so the same
// system gives the same bytes.
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <jpeglib.h>

namespace {

const char* const kFontFolder = "/usr/share/fonts/truetype/dejavu/";

QString loadFont(const char* file)
{
    const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(kFontFolder) + QString::fromLatin1(file));
    if (id < 0) {
        std::fprintf(stderr, "make-pictures: font %s%s missing (package fonts-dejavu-core)\n", kFontFolder, file);
        std::exit(1);
    }
    return QFontDatabase::applicationFontFamilies(id).value(0);
}

QFont font(const QString& family, int pixels, bool bold)
{
    QFont f(family);
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// A tiny landscape picture (sky, sun, two hills) inside a rounded thumbnail frame.
void drawThumb(QPainter& p, const QRectF& r, const QColor& sky, const QColor& hill, bool checked, qreal radius)
{
    QPainterPath frame;
    frame.addRoundedRect(r, radius, radius);
    p.fillPath(frame, QColor(0xf4, 0xf6, 0xf9));

    const qreal m = r.width() * 0.08;
    const QRectF pic = r.adjusted(m, m, -m, -m - r.height() * 0.16);
    p.save();
    p.setClipRect(pic);
    p.fillRect(pic, sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xd5, 0x4f));
    const qreal sun = pic.height() * 0.22;
    p.drawEllipse(QPointF(pic.right() - pic.width() * 0.25, pic.top() + pic.height() * 0.3), sun, sun);
    p.setBrush(hill);
    QPainterPath hills;
    hills.moveTo(pic.bottomLeft());
    hills.lineTo(pic.left(), pic.top() + pic.height() * 0.7);
    hills.quadTo(pic.left() + pic.width() * 0.3, pic.top() + pic.height() * 0.35, pic.left() + pic.width() * 0.55,
                 pic.top() + pic.height() * 0.72);
    hills.quadTo(pic.left() + pic.width() * 0.75, pic.top() + pic.height() * 0.5, pic.right(),
                 pic.top() + pic.height() * 0.68);
    hills.lineTo(pic.bottomRight());
    hills.closeSubpath();
    p.drawPath(hills);
    p.restore();

    // The check box under the picture and a caption bar beside it.
    const qreal box = r.height() * 0.11;
    const QRectF boxRect(pic.left(), pic.bottom() + (r.bottom() - m - pic.bottom() - box) / 2 + m * 0.3, box, box);
    p.setPen(QPen(QColor(0x5a, 0x6b, 0x80), 1.2));
    p.setBrush(checked ? QColor(0xf0, 0x8a, 0x24) : QColor(Qt::white));
    p.drawRoundedRect(boxRect, 1.5, 1.5);
    if (checked) {
        p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(boxRect.left() + box * 0.22, boxRect.top() + box * 0.52);
        tick.lineTo(boxRect.left() + box * 0.43, boxRect.top() + box * 0.74);
        tick.lineTo(boxRect.left() + box * 0.8, boxRect.top() + box * 0.28);
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xc5, 0xcf, 0xdb));
    p.drawRoundedRect(QRectF(boxRect.right() + box * 0.6, boxRect.center().y() - box * 0.18,
                             pic.width() * 0.5, box * 0.36),
                      box * 0.18, box * 0.18);
}

struct Tint {
    QColor sky, hill;
};

const Tint kTints[] = {
    {QColor(0x8e, 0xc5, 0xf0), QColor(0x4c, 0xa6, 0x6b)}, {QColor(0xf7, 0xb8, 0x9c), QColor(0x8a, 0x5a, 0x9e)},
    {QColor(0xa8, 0xe0, 0xd8), QColor(0x2f, 0x8f, 0x9d)}, {QColor(0xfd, 0xe2, 0x9b), QColor(0xd9, 0x73, 0x3a)},
    {QColor(0xc9, 0xb8, 0xf2), QColor(0x5b, 0x6e, 0xc9)},
};

QImage splashPicture(const QString& sans, const QString& sansBold)
{
    QImage img(549, 335, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient bg(0, 0, 549, 335);
    bg.setColorAt(0, QColor(0x17, 0x2a, 0x45));
    bg.setColorAt(1, QColor(0x2b, 0x4f, 0x7e));
    p.fillRect(img.rect(), bg);

    // The thumbnail grid on the right, leaning out of the picture's edge.
    const qreal w = 74, h = 70, gap = 12, x0 = 300, y0 = 28;
    int n = 0;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col, ++n) {
            const Tint& t = kTints[(n * 2 + row) % 5];
            const bool checked = (n % 4 == 0) || n == 7;
            drawThumb(p, QRectF(x0 + col * (w + gap), y0 + row * (h + gap) - (col % 2) * 14, w, h), t.sky, t.hill,
                      checked, 5);
        }
    p.setPen(QColor(0xf0, 0x8a, 0x24));
    p.setBrush(QColor(0xf0, 0x8a, 0x24));
    p.drawRect(QRectF(36, 112, 44, 4));

    p.setPen(Qt::white);
    p.setFont(font(sansBold, 50, true));
    p.drawText(QPointF(32, 176), QStringLiteral("Pixtrawl"));
    p.setPen(QColor(0xc8, 0xd6, 0xe8));
    p.setFont(font(sans, 16, false));
    p.drawText(QPointF(36, 208), QStringLiteral("Thumbnail gallery harvester"));
    p.setPen(QColor(0x8f, 0xa6, 0xc4));
    p.setFont(font(sans, 12, false));
    p.drawText(QPointF(36, 300), QStringLiteral("Version 1.0"));
    p.end();
    return img;
}

QImage infoPicture(const QString& sansBold)
{
    QImage img(50, 50, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient bg(0, 0, 50, 50);
    bg.setColorAt(0, QColor(0x17, 0x2a, 0x45));
    bg.setColorAt(1, QColor(0x2b, 0x4f, 0x7e));
    QPainterPath tile;
    tile.addRoundedRect(QRectF(1, 1, 48, 48), 8, 8);
    p.fillPath(tile, bg);

    // The initial beside a 2 x 3 grid of thumbnails, one of them checked.
    const qreal s = 9, gap = 3, x0 = 26, y0 = 9;
    for (int i = 0; i < 6; ++i) {
        const QRectF r(x0 + (i % 2) * (s + gap), y0 + (i / 2) * (s + gap), s, s);
        QPainterPath frame;
        frame.addRoundedRect(r, 2, 2);
        p.fillPath(frame, i == 3 ? QColor(0xf0, 0x8a, 0x24) : kTints[i % 5].sky);
    }
    p.setPen(Qt::white);
    p.setFont(font(sansBold, 30, true));
    p.drawText(QRectF(3, 6, 22, 38), Qt::AlignCenter, QStringLiteral("P"));
    p.end();
    return img;
}

bool writeJpeg(const QImage& source, const char* path)
{
    const QImage img = source.convertToFormat(QImage::Format_RGB888);
    FILE* out = std::fopen(path, "wb");
    if (!out)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = JDIMENSION(img.width());
    cinfo.image_height = JDIMENSION(img.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(img.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-pictures RESOURCE-FOLDER\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString sans = loadFont("DejaVuSans.ttf");
    const QString sansBold = loadFont("DejaVuSans-Bold.ttf");
    const QByteArray folder = QByteArray(argv[1]) + "/";
    if (!writeJpeg(splashPicture(sans, sansBold), (folder + "splash.jpg").constData())
        || !writeJpeg(infoPicture(sansBold), (folder + "info.jpg").constData())) {
        std::fprintf(stderr, "make-pictures: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
