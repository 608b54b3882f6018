#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

namespace pxt {

// The about box: product name, notice line, and the web and mail addresses as links.
class TDlgInfo : public QDialog {
    Q_OBJECT
public:
    explicit TDlgInfo(QWidget* parent = nullptr);

    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QPushButton* OKBtn;

    // Opens an address in the desktop's program for it; the result is not examined. Tests replace
    // the opener; an empty one restores QDesktopServices::openUrl.
    using UrlOpener = std::function<void(const QUrl&)>;
    static void setUrlOpener(UrlOpener opener);

public slots:
    void Label5Click();
    void Label6Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace pxt
