// The program's message boxes show what pages said as plain text.
#include "ui/StandardDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pxt;

TEST(StandardDialogs, BoxesShowMarkupAsText)
{
    StandardDialogs dialogs;
    const QString text = QStringLiteral("Cannot read <a href=\"http://evil.test/\">Cats</a> <b>now</b>");
    const std::function<void()> boxes[] = {[&] { dialogs.error(text); }, [&] { dialogs.information(text); },
                                           [&] { dialogs.informationWithActions(text, {QStringLiteral("Start")}); }};
    for (const auto& show : boxes) {
        Qt::TextFormat format = Qt::RichText;
        QString shown;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                format = box->textFormat();
                shown = box->text();
                box->done(0);
            }
        });
        show();
        EXPECT_EQ(format, Qt::PlainText);
        EXPECT_EQ(shown, text);
    }
}
