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
    createFields();
    m_settings.setLiveLinkFilter(this);
}

OptionsDialog::~OptionsDialog()
{
    if (m_sectionRead && !m_sectionSaved)
        guarded(m_dialogs, [this] { writeSection(); });
    m_settings.setLiveLinkFilter(nullptr);
}

void OptionsDialog::createFields()
{
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(QStringLiteral("Options"));

    auto* labelFileTypes = new QLabel(QStringLiteral("File-Types:"), this);
    const SnapshotValues firstRun;
    m_fileTypesEdit = new QLineEdit(firstRun.fileTypes, this);
    m_fileTypesEdit->setObjectName(QStringLiteral("fileTypesEdit"));
    labelFileTypes->setBuddy(m_fileTypesEdit);

    m_linkFilterBox = new QCheckBox(QStringLiteral("Link-Filter"), this);
    m_linkFilterBox->setObjectName(QStringLiteral("linkFilterBox"));
    m_linkFilterBox->setChecked(PlainLinkFilter().enabled);

    m_filterEdit = new QPlainTextEdit(this);
    m_filterEdit->setObjectName(QStringLiteral("filterEdit"));
    m_filterEdit->setFixedSize(310, 120);
    m_filterEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_filterEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_filterEdit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_filterEdit->setTabChangesFocus(true);

    auto* labelRatio = new QLabel(QStringLiteral("Banner-Ratio x:y (Set to 0 to disable Banner-Filter):"), this);
    m_bannerRatioBox = new QDoubleSpinBox(this);
    m_bannerRatioBox->setObjectName(QStringLiteral("bannerRatioBox"));
    m_bannerRatioBox->setDecimals(2);
    m_bannerRatioBox->setRange(0, SnapshotValues::kMaxBannerRatio);
    m_bannerRatioBox->setValue(firstRun.bannerRatio);
    m_bannerRatioBox->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    labelRatio->setBuddy(m_bannerRatioBox);

    auto* labelColumns = new QLabel(QStringLiteral("Thumbnail-Columncount:"), this);
    m_columnCountBox = wholeField(this, "columnCountBox", 1, SnapshotValues::kMaxColumns, firstRun.thumbColumnCount);
    labelColumns->setBuddy(m_columnCountBox);

    auto* labelSize = new QLabel(QStringLiteral("Min. Thumbnail-Size:"), this);
    m_minWidthBox = wholeField(this, "minWidthBox", 0, SnapshotValues::kMaxThumbSide, firstRun.minThumbWidth);
    auto* labelX = new QLabel(QStringLiteral("X"), this);
    m_minHeightBox = wholeField(this, "minHeightBox", 0, SnapshotValues::kMaxThumbSide, firstRun.minThumbHeight);
    labelSize->setBuddy(m_minWidthBox);

    auto* labelBox = new QLabel(QStringLiteral("Thumbnail size:"), this);
    m_thumbnailSizeBox = wholeField(this, "thumbnailSizeBox", SnapshotValues::kMinThumbnailSize,
                                    SnapshotValues::kMaxThumbnailSize, firstRun.thumbnailSize);
    m_thumbnailSizeBox->setSuffix(QStringLiteral(" px"));
    m_thumbnailSizeBox->setToolTip(QStringLiteral("Every thumbnail is drawn inside a square of this size"));
    labelBox->setBuddy(m_thumbnailSizeBox);

    auto* labelParallel = new QLabel(QStringLiteral("Parallel requests:"), this);
    m_parallelBox =
        wholeField(this, "parallelBox", 1, SnapshotValues::kMaxParallelRequests, firstRun.parallelRequests);
    labelParallel->setBuddy(m_parallelBox);

    m_loginBox = new QCheckBox(QStringLiteral("Use the browser's login"), this);
    m_loginBox->setObjectName(QStringLiteral("loginBox"));
    m_loginBox->setChecked(firstRun.useBrowserLogin);
    m_loginBox->setToolTip(QStringLiteral(
        "Send the browser's cookies and the gallery's address with the requests for its pictures"));

    m_unlinkedBox = new QCheckBox(QStringLiteral("Also take pictures without a link"), this);
    m_unlinkedBox->setObjectName(QStringLiteral("unlinkedBox"));
    m_unlinkedBox->setChecked(firstRun.takeUnlinkedPictures);
    m_unlinkedBox->setToolTip(QStringLiteral(
        "Take a picture that a gallery shows without a link, when it names its full picture (as lightboxes do)"));

    m_defaultButton = new QPushButton(QStringLiteral("Default"), this);
    m_defaultButton->setObjectName(QStringLiteral("defaultButton"));
    m_defaultButton->setAutoDefault(false);
    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setDefault(true);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(labelFileTypes);
    layout->addWidget(m_fileTypesEdit);
    layout->addWidget(m_linkFilterBox);
    layout->addWidget(m_filterEdit);
    auto row = [layout](std::initializer_list<QWidget*> widgets) {
        auto* h = new QHBoxLayout;
        for (QWidget* w : widgets)
            h->addWidget(w);
        h->addStretch();
        layout->addLayout(h);
        return h;
    };
    row({labelRatio, m_bannerRatioBox});
    row({labelColumns, m_columnCountBox});
    row({labelSize, m_minWidthBox, labelX, m_minHeightBox});
    row({labelBox, m_thumbnailSizeBox});
    row({labelParallel, m_parallelBox});
    layout->addWidget(m_loginBox);
    layout->addWidget(m_unlinkedBox);
    QHBoxLayout* buttons = row({m_defaultButton});
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);

    QWidget* order[] = {m_fileTypesEdit,    m_linkFilterBox,          m_filterEdit, m_bannerRatioBox, m_columnCountBox,
                        m_minWidthBox,  m_minHeightBox, m_thumbnailSizeBox,  m_parallelBox, m_loginBox, m_unlinkedBox, m_defaultButton, m_okButton, m_cancelButton};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(m_defaultButton, &QPushButton::clicked, this, [this] { guarded(m_dialogs, [this] { onDefault(); }); });
    connect(m_okButton, &QPushButton::clicked, this, [this] { guarded(m_dialogs, [this] { onOk(); }); });
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    m_iniFileName = ProgramFiles::settingsFile();
}

void OptionsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded(m_dialogs, [this] { onFirstShow(); });
}

void OptionsDialog::loadAtStart() { onFirstShow(); }

void OptionsDialog::onFirstShow()
{
    m_sectionRead = true;
    m_sectionSaved = false;
    readSection();
    m_settings.takeSnapshot(fieldValues());
}

void OptionsDialog::onOk()
{
    m_settings.takeSnapshot(fieldValues());
    accept();
}

void OptionsDialog::onDefault()
{
    const SnapshotValues v = SnapshotValues::defaultButton();
    m_fileTypesEdit->setText(v.fileTypes);
    m_bannerRatioBox->setValue(v.bannerRatio);
    setWholeValue(*m_columnCountBox, v.thumbColumnCount);
    setWholeValue(*m_minWidthBox, v.minThumbWidth);
    setWholeValue(*m_minHeightBox, v.minThumbHeight);
    setWholeValue(*m_parallelBox, v.parallelRequests);
    setWholeValue(*m_thumbnailSizeBox, v.thumbnailSize);
    m_loginBox->setChecked(v.useBrowserLogin);
    m_unlinkedBox->setChecked(v.takeUnlinkedPictures);
}

void OptionsDialog::done(int result)
{
    guarded(m_dialogs, [this] { writeSection(); });
    QDialog::done(result);
}

bool OptionsDialog::linkFilterEnabled() const { return m_linkFilterBox->isChecked(); }

// The lines the user typed, however the field wraps them for display.
QStringList OptionsDialog::linkFilterLines() const
{
    QStringList lines;
    const QTextDocument* doc = m_filterEdit->document();
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
    m_filterEdit->setPlainText(text);
}

SnapshotValues OptionsDialog::fieldValues()
{
    settle(m_bannerRatioBox);
    settle(m_columnCountBox);
    settle(m_minWidthBox);
    settle(m_minHeightBox);
    settle(m_parallelBox);
    settle(m_thumbnailSizeBox);
    SnapshotValues v;
    v.fileTypes = m_fileTypesEdit->text();
    v.bannerRatio = float(m_bannerRatioBox->value());
    v.thumbColumnCount = m_columnCountBox->value();
    v.minThumbWidth = m_minWidthBox->value();
    v.minThumbHeight = m_minHeightBox->value();
    v.parallelRequests = m_parallelBox->value();
    v.thumbnailSize = m_thumbnailSizeBox->value();
    v.useBrowserLogin = m_loginBox->isChecked();
    v.takeUnlinkedPictures = m_unlinkedBox->isChecked();
    return v;
}

// A key that is missing or does not parse leaves its field as it is.
void OptionsDialog::readSection()
{
    const IniFile ini(m_iniFileName);
    if (readInt(ini, kOptionsSection, kFormVersion).value_or(0) < 0)
        return;

    if (const auto text = ini.read(kOptionsSection, kFileTypes))
        m_fileTypesEdit->setText(*text);
    readChecked(ini, kLinkFilterChecked, *m_linkFilterBox);
    readChecked(ini, kUseBrowserLogin, *m_loginBox);
    readChecked(ini, kUnlinkedPictures, *m_unlinkedBox);
    const int count = std::min(readInt(ini, kFilterLinesSection, kFilterLineCount).value_or(0), kMaxFilterLines);
    if (count > 0) {
        QStringList lines;
        lines.reserve(count);
        for (int i = 0; i < count; ++i)
            lines += ini.read(kFilterLinesSection, kFilterLineItem.arg(i), IniFile::Trim::No).value_or(QString());
        setFilterLines(lines);
    }
    if (const auto ratio = readNumber(ini, kOptionsSection, kBannerRatio))
        m_bannerRatioBox->setValue(*ratio);
    if (const auto columns = readNumber(ini, kOptionsSection, kColumnCount))
        setWholeValue(*m_columnCountBox, *columns);
    if (const auto height = readNumber(ini, kOptionsSection, kMinThumbHeight))
        setWholeValue(*m_minHeightBox, *height);
    if (const auto width = readNumber(ini, kOptionsSection, kMinThumbWidth))
        setWholeValue(*m_minWidthBox, *width);
    if (const auto parallel = readNumber(ini, kOptionsSection, kParallelRequests))
        setWholeValue(*m_parallelBox, *parallel);
    if (const auto side = readNumber(ini, kOptionsSection, kThumbnailSize))
        setWholeValue(*m_thumbnailSizeBox, *side);
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
    ini.write(kOptionsSection, kLinkFilterChecked, m_linkFilterBox->isChecked() ? kTrue : kFalse);
    ini.eraseSection(kFilterLinesSection);
    const QStringList lines = linkFilterLines();
    if (!lines.isEmpty()) {
        ini.write(kFilterLinesSection, kFilterLineCount, QString::number(lines.size()));
        for (int i = 0; i < lines.size(); ++i)
            ini.write(kFilterLinesSection, kFilterLineItem.arg(i), lines[i], Kind::Text, IniFile::Trim::No);
    }
    ini.write(kOptionsSection, kBannerRatio, numberText(m_bannerRatioBox->value()));
    ini.write(kOptionsSection, kColumnCount, numberText(v.thumbColumnCount));
    ini.write(kOptionsSection, kMinThumbHeight, numberText(v.minThumbHeight));
    ini.write(kOptionsSection, kMinThumbWidth, numberText(v.minThumbWidth));
    ini.write(kOptionsSection, kParallelRequests, numberText(v.parallelRequests));
    ini.write(kOptionsSection, kThumbnailSize, numberText(v.thumbnailSize));
    ini.write(kOptionsSection, kUseBrowserLogin, v.useBrowserLogin ? kTrue : kFalse);
    ini.write(kOptionsSection, kUnlinkedPictures, v.takeUnlinkedPictures ? kTrue : kFalse);
    ini.save();
}

} // namespace pxt
