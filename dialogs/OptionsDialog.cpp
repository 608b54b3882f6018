#include "dialogs/OptionsDialog.h"

#include "core/Dialogs.h"
#include "core/ProgramFiles.h"
#include "core/Rounding.h"
#include "core/IniFile.h"
#include "core/SettingsKeys.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>

namespace pxt {

using namespace SettingsKeys;

namespace {

// A damaged file must not make the dialog build millions of empty lines.
constexpr int kMaxFilterLines = 100000;

std::optional<int> readInt(const IniFile& ini, const QString& section, const QString& key)
{
    const std::optional<QString> text = ini.read(section, key);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const int v = text->toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

// The file's numbers use "." whatever the user's locale.
std::optional<double> readNumber(const IniFile& ini, const QString& section, const QString& key)
{
    const std::optional<QString> text = ini.read(section, key);
    if (!text)
        return std::nullopt;
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = c.toDouble(*text, &ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

// "True" or "False" in any case; anything else leaves the box as it is.
void readChecked(const IniFile& ini, const QString& key, QCheckBox& box)
{
    const std::optional<QString> checked = ini.read(kOptionsSection, key);
    if (!checked)
        return;
    if (checked->compare(kTrue, Qt::CaseInsensitive) == 0)
        box.setChecked(true);
    else if (checked->compare(kFalse, Qt::CaseInsensitive) == 0)
        box.setChecked(false);
}

QString numberText(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

// Text that the field does not accept as a number counts as its lower limit.
template <class Box>
void settle(Box* box)
{
    if (!box->hasAcceptableInput())
        box->setValue(box->minimum());
}

QSpinBox* wholeField(QWidget* parent, const char* name, int min, int max, int value)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(min, max);
    box->setValue(value);
    box->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    return box;
}

} // namespace

void setWholeValue(QSpinBox& field, double value)
{
    if (!std::isfinite(value))
        return;
    const double v = std::clamp(roundHalfEven(value), double(field.minimum()), double(field.maximum()));
    field.setValue(int(v));
}

OptionsDialog::OptionsDialog(Settings& settings, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_dialogs(dialogs)
{
    FormCreate();
    m_settings.setLiveLinkFilter(this);
}

OptionsDialog::~OptionsDialog()
{
    if (m_sectionRead && !m_sectionSaved)
        guarded(m_dialogs, [this] { writeSection(); });
    m_settings.setLiveLinkFilter(nullptr);
}

void OptionsDialog::FormCreate()
{
    setObjectName(QStringLiteral("DlgOptions"));
    setWindowTitle(QStringLiteral("Options"));

    auto* labelFileTypes = new QLabel(QStringLiteral("File-Types:"), this);
    const SnapshotValues firstRun;
    EditFileTypes = new QLineEdit(firstRun.fileTypes, this);
    EditFileTypes->setObjectName(QStringLiteral("EditFileTypes"));
    labelFileTypes->setBuddy(EditFileTypes);

    CheckBox1 = new QCheckBox(QStringLiteral("Link-Filter"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(PlainLinkFilter().enabled);

    MemoFilter = new QPlainTextEdit(this);
    MemoFilter->setObjectName(QStringLiteral("MemoFilter"));
    MemoFilter->setFixedSize(310, 120);
    MemoFilter->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoFilter->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoFilter->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoFilter->setTabChangesFocus(true);

    auto* labelRatio = new QLabel(QStringLiteral("Banner-Ratio x:y (Set to 0 to disable Banner-Filter):"), this);
    RxSpinEditRatio = new QDoubleSpinBox(this);
    RxSpinEditRatio->setObjectName(QStringLiteral("RxSpinEditRatio"));
    RxSpinEditRatio->setDecimals(2);
    RxSpinEditRatio->setRange(0, SnapshotValues::kMaxBannerRatio);
    RxSpinEditRatio->setValue(firstRun.bannerRatio);
    RxSpinEditRatio->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    labelRatio->setBuddy(RxSpinEditRatio);

    auto* labelColumns = new QLabel(QStringLiteral("Thumbnail-Columncount:"), this);
    RxSpinEditColCount = wholeField(this, "RxSpinEditColCount", 1, SnapshotValues::kMaxColumns, firstRun.thumbColumnCount);
    labelColumns->setBuddy(RxSpinEditColCount);

    auto* labelSize = new QLabel(QStringLiteral("Min. Thumbnail-Size:"), this);
    RxSpinEditWidth = wholeField(this, "RxSpinEditWidth", 0, SnapshotValues::kMaxThumbSide, firstRun.minThumbWidth);
    auto* labelX = new QLabel(QStringLiteral("X"), this);
    RxSpinEditHeight = wholeField(this, "RxSpinEditHeight", 0, SnapshotValues::kMaxThumbSide, firstRun.minThumbHeight);
    labelSize->setBuddy(RxSpinEditWidth);

    auto* labelParallel = new QLabel(QStringLiteral("Parallel requests:"), this);
    RxSpinEditParallel =
        wholeField(this, "RxSpinEditParallel", 1, SnapshotValues::kMaxParallelRequests, firstRun.parallelRequests);
    labelParallel->setBuddy(RxSpinEditParallel);

    CheckBoxLogin = new QCheckBox(QStringLiteral("Use the browser's login"), this);
    CheckBoxLogin->setObjectName(QStringLiteral("CheckBoxLogin"));
    CheckBoxLogin->setChecked(firstRun.useBrowserLogin);
    CheckBoxLogin->setToolTip(QStringLiteral(
        "Send the browser's cookies and the gallery's address with the requests for its pictures"));

    Button1 = new QPushButton(QStringLiteral("Default"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(labelFileTypes);
    layout->addWidget(EditFileTypes);
    layout->addWidget(CheckBox1);
    layout->addWidget(MemoFilter);
    auto row = [layout](std::initializer_list<QWidget*> widgets) {
        auto* h = new QHBoxLayout;
        for (QWidget* w : widgets)
            h->addWidget(w);
        h->addStretch();
        layout->addLayout(h);
        return h;
    };
    row({labelRatio, RxSpinEditRatio});
    row({labelColumns, RxSpinEditColCount});
    row({labelSize, RxSpinEditWidth, labelX, RxSpinEditHeight});
    row({labelParallel, RxSpinEditParallel});
    layout->addWidget(CheckBoxLogin);
    QHBoxLayout* buttons = row({Button1});
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);

    QWidget* order[] = {EditFileTypes,    CheckBox1,          MemoFilter, RxSpinEditRatio, RxSpinEditColCount,
                        RxSpinEditWidth,  RxSpinEditHeight,   RxSpinEditParallel, CheckBoxLogin, Button1, OKBtn, CancelBtn};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(Button1, &QPushButton::clicked, this, [this] { guarded(m_dialogs, [this] { Button1Click(); }); });
    connect(OKBtn, &QPushButton::clicked, this, [this] { guarded(m_dialogs, [this] { OKBtnClick(); }); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    m_iniFileName = ProgramFiles::settingsFile();
}

void OptionsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded(m_dialogs, [this] { FormShow(); });
}

void OptionsDialog::LoadAtStart() { FormShow(); }

void OptionsDialog::FormShow()
{
    m_sectionRead = true;
    m_sectionSaved = false;
    readSection();
    m_settings.takeSnapshot(fieldValues());
}

void OptionsDialog::OKBtnClick()
{
    m_settings.takeSnapshot(fieldValues());
    accept();
}

void OptionsDialog::Button1Click()
{
    const SnapshotValues v = SnapshotValues::defaultButton();
    EditFileTypes->setText(v.fileTypes);
    RxSpinEditRatio->setValue(v.bannerRatio);
    setWholeValue(*RxSpinEditColCount, v.thumbColumnCount);
    setWholeValue(*RxSpinEditWidth, v.minThumbWidth);
    setWholeValue(*RxSpinEditHeight, v.minThumbHeight);
    setWholeValue(*RxSpinEditParallel, v.parallelRequests);
    CheckBoxLogin->setChecked(v.useBrowserLogin);
}

void OptionsDialog::done(int result)
{
    guarded(m_dialogs, [this] { writeSection(); });
    QDialog::done(result);
}

bool OptionsDialog::linkFilterEnabled() const { return CheckBox1->isChecked(); }

// The lines the user typed, however the field wraps them for display.
QStringList OptionsDialog::linkFilterLines() const
{
    QStringList lines;
    const QTextDocument* doc = MemoFilter->document();
    if (doc->isEmpty())
        return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        lines += b.text().split(QChar::LineSeparator);
    // A line break at the very end ends the last line; it starts no empty one.
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void OptionsDialog::setFilterLines(const QStringList& lines)
{
    QString text = lines.join(u'\n');
    // An empty last line needs the line break that ends it, or it would not be read back.
    if (!lines.isEmpty() && lines.last().isEmpty())
        text += u'\n';
    MemoFilter->setPlainText(text);
}

SnapshotValues OptionsDialog::fieldValues()
{
    settle(RxSpinEditRatio);
    settle(RxSpinEditColCount);
    settle(RxSpinEditWidth);
    settle(RxSpinEditHeight);
    settle(RxSpinEditParallel);
    SnapshotValues v;
    v.fileTypes = EditFileTypes->text();
    v.bannerRatio = float(RxSpinEditRatio->value());
    v.thumbColumnCount = RxSpinEditColCount->value();
    v.minThumbWidth = RxSpinEditWidth->value();
    v.minThumbHeight = RxSpinEditHeight->value();
    v.parallelRequests = RxSpinEditParallel->value();
    v.useBrowserLogin = CheckBoxLogin->isChecked();
    return v;
}

// A key that is missing or does not parse leaves its field as it is.
void OptionsDialog::readSection()
{
    const IniFile ini(m_iniFileName);
    if (readInt(ini, kOptionsSection, kFormVersion).value_or(0) < 0)
        return;

    if (const auto text = ini.read(kOptionsSection, kFileTypes))
        EditFileTypes->setText(*text);
    readChecked(ini, kLinkFilterChecked, *CheckBox1);
    readChecked(ini, kUseBrowserLogin, *CheckBoxLogin);
    const int count = std::min(readInt(ini, kFilterLinesSection, kFilterLineCount).value_or(0), kMaxFilterLines);
    if (count > 0) {
        QStringList lines;
        lines.reserve(count);
        for (int i = 0; i < count; ++i)
            lines += ini.read(kFilterLinesSection, kFilterLineItem.arg(i), IniFile::Trim::No).value_or(QString());
        setFilterLines(lines);
    }
    if (const auto ratio = readNumber(ini, kOptionsSection, kBannerRatio))
        RxSpinEditRatio->setValue(*ratio);
    if (const auto columns = readNumber(ini, kOptionsSection, kColumnCount))
        setWholeValue(*RxSpinEditColCount, *columns);
    if (const auto height = readNumber(ini, kOptionsSection, kMinThumbHeight))
        setWholeValue(*RxSpinEditHeight, *height);
    if (const auto width = readNumber(ini, kOptionsSection, kMinThumbWidth))
        setWholeValue(*RxSpinEditWidth, *width);
    if (const auto parallel = readNumber(ini, kOptionsSection, kParallelRequests))
        setWholeValue(*RxSpinEditParallel, *parallel);
}

// The keys of one close go to the file in one replacement, in the order the section receives them.
void OptionsDialog::writeSection()
{
    m_sectionSaved = true;
    const SnapshotValues v = fieldValues();
    IniFile ini(m_iniFileName);
    using Kind = IniFile::Kind;
    ini.write(kOptionsSection, kFormVersion, kFormVersionWritten, Kind::Number);
    ini.write(kOptionsSection, kFileTypes, v.fileTypes);
    ini.write(kOptionsSection, kLinkFilterChecked, CheckBox1->isChecked() ? kTrue : kFalse);
    ini.eraseSection(kFilterLinesSection);
    const QStringList lines = linkFilterLines();
    if (!lines.isEmpty()) {
        ini.write(kFilterLinesSection, kFilterLineCount, QString::number(lines.size()));
        for (int i = 0; i < lines.size(); ++i)
            ini.write(kFilterLinesSection, kFilterLineItem.arg(i), lines[i], Kind::Text, IniFile::Trim::No);
    }
    ini.write(kOptionsSection, kBannerRatio, numberText(RxSpinEditRatio->value()));
    ini.write(kOptionsSection, kColumnCount, numberText(v.thumbColumnCount));
    ini.write(kOptionsSection, kMinThumbHeight, numberText(v.minThumbHeight));
    ini.write(kOptionsSection, kMinThumbWidth, numberText(v.minThumbWidth));
    ini.write(kOptionsSection, kParallelRequests, numberText(v.parallelRequests));
    ini.write(kOptionsSection, kUseBrowserLogin, v.useBrowserLogin ? kTrue : kFalse);
    ini.save();
}

} // namespace pxt
