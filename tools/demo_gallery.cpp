// Writes the demo gallery: our own generated pictures, thumbnails linking straight to full pictures and
// to picture pages, a frame, a banner and a small image that the filters drop.
//   pxt_demo_gallery <folder> [thumbnails]
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

#include <cmath>

namespace {

QColor hue(int i, int s = 160, int v = 220) { return QColor::fromHsv((i * 47) % 360, s, v); }

QImage picture(int i, int w, int h, const QString& label)
{
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, hue(i));
    g.setColorAt(1, hue(i + 3, 120, 120));
    p.fillRect(img.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int k = 0; k < 6; ++k) {
        p.setBrush(QColor(255, 255, 255, 40 + 20 * k));
        const double r = std::min(w, h) * (0.1 + 0.05 * k);
        p.drawEllipse(QPointF(w * (0.2 + 0.13 * k), h * (0.3 + 0.08 * ((k + i) % 5))), r, r);
    }
    p.setPen(Qt::white);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(std::max(9, h / 6));
    p.setFont(f);
    p.drawText(img.rect(), Qt::AlignCenter, label);
    return img;
}

bool save(const QImage& img, const QString& path) { return img.save(path, "JPEG", 85); }

void write(const QString& path, const QString& text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text.toUtf8());
}

QString thumbLink(const QString& href, int i)
{
    return QStringLiteral("<a href=\"%1\"><img src=\"thumbs/t%2.jpg\" width=120 height=90 alt=\"Picture %2\"></a>\n")
        .arg(href)
        .arg(i);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? std::max(4, atoi(argv[2])) : 16;
    QDir().mkpath(dir + "/thumbs");
    QDir().mkpath(dir + "/full");

    QString index, frame;
    for (int i = 1; i <= count; ++i) {
        save(picture(i, 120, 90, QStringLiteral("%1").arg(i)), dir + QStringLiteral("/thumbs/t%1.jpg").arg(i));
        save(picture(i, 800, 600, QStringLiteral("Picture %1").arg(i)), dir + QStringLiteral("/full/pic%1.jpg").arg(i));
        QString link = QStringLiteral("full/pic%1.jpg").arg(i);
        if (i % 4 == 0) {
            // Every fourth thumbnail leads to a picture page with a banner above the picture.
            link = QStringLiteral("photo%1.html").arg(i);
            write(dir + '/' + link,
                  QStringLiteral("<html><head><title>Picture %1</title></head><body><img src=\"banner.jpg\" "
                                 "width=468 height=60><br><img src=\"full/pic%1.jpg\" width=800 height=600>"
                                 "</body></html>")
                      .arg(i));
        }
        (i <= count * 3 / 4 ? index : frame) += thumbLink(link, i);
    }
    save(picture(99, 468, 60, QStringLiteral("Banner: buy now")), dir + "/banner.jpg");
    save(picture(98, 16, 16, QString()), dir + "/icon.jpg");
    write(dir + "/offer.html", QStringLiteral("<html><head><title>Offer</title></head><body>An offer.</body></html>"));

    write(dir + "/frame.html",
          QStringLiteral("<html><head><title>More pictures</title></head><body>%1</body></html>").arg(frame));
    write(dir + "/index.html",
          QStringLiteral("<html><head><title>Pixtrawl Demo Gallery</title></head><body>"
                         "<h1>Pixtrawl Demo Gallery</h1>\n"
                         "<p><a href=\"offer.html\"><img src=\"banner.jpg\" width=468 height=60></a></p>\n"
                         "<p>%1</p>\n"
                         "<p><a href=\"offer.html\"><img src=\"icon.jpg\" width=16 height=16></a> "
                         "<a href=\"offer.html\">A plain text link</a></p>\n"
                         "<iframe src=\"frame.html\" width=600 height=220></iframe>"
                         "</body></html>")
              .arg(index));
    return 0;
}
