#include "app/MainForm.h"
#include "app/ProgressForm.h"
#include "browserhost/DevToolsWindows.h"
#include "browserhost/WebEngineViewFactory.h"
#include "picker/SelectBrowserDlg.h"
#include "settings/OptionsDlg.h"
#include "settings/Settings.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pixtrawl"));

    pxt::WebEngineViewFactory views;
    pxt::DevToolsWindowList windows;
    pxt::Settings& settings = pxt::Settings::instance();

    // The windows that live for the whole run.
    pxt::TFormProgress FormProgress;
    pxt::TDlgOptions DlgOptions(settings);
    pxt::TDlgSelectBrowser DlgSelectBrowser(windows);
    pxt::TFormMain FormMain({views, windows, settings, FormProgress, DlgOptions, DlgSelectBrowser});

    FormMain.show();
    return app.exec();
}
