#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

namespace pxt {

class Dialogs;

// The about box: product name, notice line, and the web and mail addresses as links.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(Dialogs& dialogs, QWidget* parent = nullptr);

    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QPushButton* OKBtn;

public slots:
    void Label5Click();
    void Label6Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Addresses go to the desktop's program for them; the result is not examined.
    Dialogs& m_dialogs;
};

} // namespace pxt
