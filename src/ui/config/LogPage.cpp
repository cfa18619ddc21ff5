#include "config/LogPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"
#include "log/LogFormats.h"
#include "settings/ConfigRules.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

constexpr int kMsgNoLogFileName = 33042;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The combo index of a stored format number (other numbers show the first).
int ComboIndex(int stored, int count) { return stored >= 0 && stored < count ? stored : 0; }

}  // namespace

LogPage::LogPage(QWidget* parent) : ConfigPage(QStringLiteral("&Log"), QStringLiteral("config-log"), parent), view_(this) {
    toScreen_ = NewCheckBox(QStringLiteral("Log To Sc&reen"));
    auto* all = NewRadio(QStringLiteral("All"));
    auto* success = NewRadio(QStringLiteral("Successful"));
    auto* unsuccess = NewRadio(QStringLiteral("Unsuccessful"));
    view_.Add(all, LogFilterText(LogFilter::All));
    view_.Add(success, LogFilterText(LogFilter::Success));
    view_.Add(unsuccess, LogFilterText(LogFilter::Unsuccess));
    toFile_ = NewCheckBox(QStringLiteral("Log to f&ile"));
    fileName_ = NewLineEdit(QStringLiteral("File Name"));
    fileName_->setPlaceholderText(QStringLiteral("zyfar.log"));
    append_ = NewCheckBox(QStringLiteral("Append &Between Sessions"));
    timeFormat_ = NewCombo(QStringLiteral("Log time format"));
    for (int i = 0; i < kLogTimeFormatCount; ++i) timeFormat_->addItem(Q(LogTimeFormatLabel(i)));
    dateFormat_ = NewCombo(QStringLiteral("Log date format"));
    for (int i = 0; i < kLogDateFormatCount; ++i) dateFormat_->addItem(Q(LogDateFormatLabel(i)));

    auto* screenGroup = NewGroup(QStringLiteral("Screen"));
    auto* screenColumn = new QVBoxLayout(screenGroup);
    screenColumn->addWidget(toScreen_);
    auto* viewGroup = NewGroup(QStringLiteral("&View"));
    auto* viewRow = new QHBoxLayout(viewGroup);
    viewRow->addWidget(all);
    viewRow->addWidget(success);
    viewRow->addWidget(unsuccess);
    viewRow->addStretch(1);
    screenColumn->addWidget(viewGroup);

    auto* fileGroup = NewGroup(QStringLiteral("File"));
    auto* fileForm = new QFormLayout(fileGroup);
    fileForm->addRow(toFile_);
    fileForm->addRow(NewLabel(QStringLiteral("File &Name"), fileName_), fileName_);
    fileForm->addRow(append_);

    auto* formatGroup = NewGroup(QStringLiteral("Log Timestamp Format"));
    auto* formatForm = new QFormLayout(formatGroup);
    formatForm->addRow(NewLabel(QStringLiteral("Tim&e"), timeFormat_), timeFormat_);
    formatForm->addRow(NewLabel(QStringLiteral("&Date"), dateFormat_), dateFormat_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(screenGroup);
    layout->addWidget(fileGroup);
    layout->addWidget(formatGroup);
    layout->addStretch(1);

    connect(toFile_, &QCheckBox::toggled, this, [this] { UpdateFileFields(); });
    UpdateFileFields();
}

void LogPage::UpdateFileFields() {
    fileName_->setEnabled(toFile_->isChecked());
    append_->setEnabled(toFile_->isChecked());
}

void LogPage::Load() {
    toScreen_->setChecked(ReadNotNo(keys::ToScreenPage));
    view_.Select(LogFilterText(ParseLogFilterPage(Read(keys::View))));
    toFile_->setChecked(ReadNotNo(keys::ToFilePage));
    append_->setChecked(ReadNotNo(keys::AppendLog));
    ShowText(fileName_, Read(keys::FileNamePage));
    timeFormat_->setCurrentIndex(ComboIndex(ReadInt(keys::TimeFormat), kLogTimeFormatCount));
    dateFormat_->setCurrentIndex(ComboIndex(ReadInt(keys::DateFormat), kLogDateFormatCount));
    UpdateFileFields();
}

bool LogPage::Validate() {
    if (!toFile_->isChecked() || !fileName_->text().trimmed().isEmpty()) return true;
    AskMessage(this, kMsgNoLogFileName, MessageKind::Information, MessageButtons::Ok);
    fileName_->setFocus();
    return false;
}

void LogPage::StoreKeys() {
    StoreYesNo(keys::ToScreenPage, toScreen_);
    if (const auto chosen = view_.Chosen()) Write(keys::View, *chosen);
    StoreYesNo(keys::ToFilePage, toFile_);
    StoreYesNo(keys::AppendLog, append_);
    if (toFile_->isChecked()) {
        // The field shows the name with its ".log" before it is stored.
        fileName_->setText(QString::fromStdString(LogFileNameWithExtension(fileName_->text().trimmed().toStdString())));
    }
    Write(keys::FileNamePage, TextOf(fileName_));
    WriteInt(keys::TimeFormat, timeFormat_->currentIndex());
    WriteInt(keys::DateFormat, dateFormat_->currentIndex());
}

}  // namespace zyfar
