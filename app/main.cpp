#include "app/ApplicationSetup.h"
#include "app/MainWindow.h"
#include "app/ProgressWindow.h"
#include "browser/BrowserLauncher.h"
#include "browser/JoinedWindows.h"
#include "browser/bidi/BidiWindows.h"
#include "browser/devtools/DevToolsWindows.h"
#include "browser/webengine/WebEngineBrowserView.h"
#include "browser/webengine/WebEngineViewFactory.h"
#include "http/BrowserSession.h"
#include "dialogs/BrowserPicker.h"
#include "dialogs/OptionsDialog.h"
#include "settings/Settings.h"
#include "ui/StandardDialogs.h"

#include <QApplication>

int main(int argc, char** argv)
{
    pxt::WebEngineBrowserView::drawInSoftware();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    pxt::setUpApplication();

    pxt::StandardDialogs dialogs;
    pxt::BrowserSession session; // in memory only, for this run
    pxt::WebEngineViewFactory views(dialogs, &session);
    // Chromium-family browsers over the DevTools protocol, Firefox over WebDriver BiDi, in one picker.
    pxt::DevToolsWindowList chromiumWindows;
    pxt::BidiWindowList firefoxWindows;
    pxt::JoinedBrowserWindowList windows({&chromiumWindows, &firefoxWindows});
    pxt::Settings settings;

    // The windows that live for the whole run.
    pxt::ProgressWindow FormProgress;
    pxt::OptionsDialog DlgOptions(settings, dialogs);
    pxt::BrowserLauncher launcher; // browsers it starts run on when the program ends
    pxt::BrowserPicker DlgSelectBrowser(windows, dialogs);
    DlgSelectBrowser.setBrowserStarting(&launcher, pxt::installedBrowsers());
    pxt::MainWindow FormMain({views, windows, settings, FormProgress, DlgOptions, DlgSelectBrowser, dialogs, true, &session});

    FormMain.show();
    return app.exec();
}
