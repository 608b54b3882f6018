#pragma once

#include <QString>

// The section and key names of the settings file (pxt.ini), and the few fixed values written into it.
// They are the stored format: files written by every earlier version are read with them, so they must
// never change, not even in case or spacing. A new setting gets a new name here.
namespace pxt::SettingsKeys {

// --- [OptionsDialog]: the options dialog ---
inline const QString kOptionsSection = QStringLiteral("TDlgOptions");
inline const QString kFileTypes = QStringLiteral("EditFileTypes_Text");
inline const QString kLinkFilterChecked = QStringLiteral("CheckBox1_Checked");
inline const QString kUseBrowserLogin = QStringLiteral("CheckBoxLogin_Checked");
inline const QString kBannerRatio = QStringLiteral("RxSpinEditRatio_Value");
inline const QString kColumnCount = QStringLiteral("RxSpinEditColCount_Value");
inline const QString kMinThumbHeight = QStringLiteral("RxSpinEditHeight_Value");
inline const QString kMinThumbWidth = QStringLiteral("RxSpinEditWidth_Value");
inline const QString kParallelRequests = QStringLiteral("RxSpinEditParallel_Value");
inline const QString kThumbnailSize = QStringLiteral("ThumbnailSize_Value");
inline const QString kUnlinkedPictures = QStringLiteral("CheckBoxUnlinked_Checked");
// The check boxes' values, read in any case.
inline const QString kTrue = QStringLiteral("True");
inline const QString kFalse = QStringLiteral("False");

// --- [OptionsDialog.MemoFilter_Lines]: the link filter's lines, Item0 .. Item<Count-1> ---
inline const QString kFilterLinesSection = QStringLiteral("TDlgOptions.MemoFilter_Lines");
inline const QString kFilterLineCount = QStringLiteral("Count");
inline const QString kFilterLineItem = QStringLiteral("Item%1"); // %1: the line's index from 0

// --- A window's section (WindowPlacement) ---
// Also the first key of [OptionsDialog]; a negative version makes the section be ignored.
inline const QString kFormVersion = QStringLiteral("FormVersion");
inline const QString kFormVersionWritten = QStringLiteral("0");
inline const QString kFlags = QStringLiteral("Flags");
inline const QString kShowCmd = QStringLiteral("ShowCmd");
inline const QString kPixelsPerInch = QStringLiteral("PixelsPerInch");
inline const QString kMinMaxPos = QStringLiteral("MinMaxPos");
inline const QString kNormPos = QStringLiteral("NormPos");
inline const QString kVisible = QStringLiteral("Visible");
// Appended to MinMaxPos and NormPos for the key of one screen size: %1 width, %2 height.
inline const QString kScreenSizeSuffix = QStringLiteral("(%1x%2)");
// The MinMaxPos value: the window manager places minimized and maximized windows.
inline const QString kUnplaced = QStringLiteral("-1,-1,-1,-1");

// --- [MainWindow]: the main window ---
inline const QString kMainFormSection = QStringLiteral("TFormMain");
inline const QString kThumbsPaneWidth = QStringLiteral("FrameThumbs1_Width");

// --- [SavePictures]: the folder pictures were last saved into ---
inline const QString kSavePicturesSection = QStringLiteral("SavePictures");
inline const QString kLastFolder = QStringLiteral("LastFolder");

// --- [Browsers]: written by the user, never by the program ---
inline const QString kBrowsersSection = QStringLiteral("Browsers");
inline const QString kDevToolsEndpoints = QStringLiteral("DevToolsEndpoints"); // host:port,host:port

} // namespace pxt::SettingsKeys
