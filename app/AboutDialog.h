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

    QLabel* picture() const { return m_picture; }
    QLabel* productLabel() const { return m_productLabel; }
    QLabel* noticeLabel() const { return m_noticeLabel; }
    QLabel* webCaption() const { return m_webCaption; }
    QLabel* mailCaption() const { return m_mailCaption; }
    QLabel* webLabel() const { return m_webLabel; }
    QLabel* mailLabel() const { return m_mailLabel; }
    QPushButton* okButton() const { return m_okButton; }

public slots:
    void onWebAddressClicked();
    void onMailAddressClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_picture;
    QLabel* m_productLabel;
    QLabel* m_noticeLabel;
    QLabel* m_webCaption;
    QLabel* m_mailCaption;
    QLabel* m_webLabel;
    QLabel* m_mailLabel;
    QPushButton* m_okButton;

    // Addresses go to the desktop's program for them; the result is not examined.
    Dialogs& m_dialogs;
};

} // namespace pxt
