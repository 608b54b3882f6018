#pragma once

// What the benchmarks on the real engine share: a generated thumbnail page in the program's own
// format, its local pictures, and a wait that keeps the event loop running.

#include <QByteArrayList>
#include <QColor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace pxt::bench {


inline constexpr int kCells = 10000;
inline constexpr int kColumns = 5;
inline constexpr int kPictures = 50; // distinct local picture files the cells share

inline QByteArray thumbPage(const QString& folder, int cells = kCells)
{
    QByteArrayList lines;
    lines << "<html><HEAD><META content=\"text/html; charset=iso-8859-1\" http-equiv=Content-Type>"
             "<title>Thumbnails from Bench Gallery</title></head><body link=#FF641A vlink=#FF641A "
             "alink=#FF641A><form><font face=arial size=2>";
    lines << "<font size=2 face=arial><b>Bench Gallery<b></font><br><a href=\"http://gallery.test/\" "
             "target=_blank style=\"font-family:Verdana,Arial,Helvetica,sans-serif; font-weight:bold; "
             "font-size:10px; text-decoration:none\">http://gallery.test/</a><hr>";
    lines << "<table align=center border=0 width=100%><tr>";
    for (int i = 0; i < cells; ++i) {
        if (i > 0 && i % kColumns == 0)
            lines << "</tr><tr>";
        const QByteArray link = "http://gallery.test/full/picture" + QByteArray::number(i) + ".jpg";
        const QByteArray name = "picture" + QByteArray::number(i) + ".jpg";
        const QByteArray image = QUrl::fromLocalFile(folder + QStringLiteral("/thumb%1.png").arg(i % kPictures))
                                     .toEncoded();
        lines << "<td valign=bottom><a href=\"" + link + "\"><img border=0 alt=\"View Image: " + link +
                     "\" src=" + image + "></a><div id=" + link + " ><input type=checkbox name=\"" + name +
                     "\" value=\"" + link +
                     "\"><font style=\"font-family:Arial,Verdana,Helvetica,sans-serif; font-weight:bold; "
                     "font-size:11px; color:#000000;\">&nbsp;" + name + "</font></div><br>";
    }
    lines << "</tr></table>";
    lines << "<br><br><br>";
    return lines.join("\r\n") + "\r\n";
}

inline void waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}


// The local pictures the thumbnail page's cells show.
inline void writeThumbPictures(const QString& folder)
{
    for (int i = 0; i < kPictures; ++i) {
        QImage picture(60 + i % 40, 45 + i % 30, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(i * 7 % 360, 160, 200));
        picture.save(folder + QStringLiteral("/thumb%1.png").arg(i));
    }
}

} // namespace pxt::bench
