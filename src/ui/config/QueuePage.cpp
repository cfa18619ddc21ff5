#include "config/QueuePage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

constexpr int kMsgNeedResendCount = 241;

const char* const kUntilEnd = "UNTIL_END";
const char* const kFreqNum = "FREQ_NUM";

}  // namespace

QueuePage::QueuePage(QWidget* parent)
    : ConfigPage(QStringLiteral("&Queue"), QStringLiteral("config-queue"), parent), freq_(this), start_(this) {
    resendFail_ = NewCheckBox(QStringLiteral("Automatically Add Fa&iled Transfers to Queue"));
    auto* untilEnd = NewRadio(QStringLiteral("Send Until &Complete"));
    auto* freqNum = NewRadio(QStringLiteral("&Number of  Resends:"));
    freq_.Add(untilEnd, kUntilEnd);
    freq_.Add(freqNum, kFreqNum);
    freqNum_ = NewNumberEdit(QStringLiteral("Number of Resends"));
    resendTime_ = NewNumberEdit(QStringLiteral("Resend every (minutes)"));

    auto* failedGroup = NewGroup(QStringLiteral("Failed Transfers"));
    auto* failedColumn = new QVBoxLayout(failedGroup);
    failedColumn->addWidget(resendFail_);
    // The resend choices sit indented under the check box that enables them.
    auto* choices = new QGridLayout;
    choices->setContentsMargins(24, 0, 0, 0);
    choices->addWidget(untilEnd, 0, 0, 1, 2);
    choices->addWidget(freqNum, 1, 0);
    choices->addWidget(freqNum_, 1, 1);
    choices->setColumnStretch(2, 1);
    failedColumn->addLayout(choices);

    auto* timeGroup = NewGroup(QStringLiteral("Resend Timer"));
    auto* timeRow = new QHBoxLayout(timeGroup);
    timeRow->addWidget(NewLabel(QStringLiteral("Resend &every"), resendTime_));
    timeRow->addWidget(resendTime_);
    timeRow->addWidget(new QLabel(QStringLiteral("Minutes"), timeGroup));
    timeRow->addStretch(1);

    auto* empty = NewRadio(QStringLiteral("Empty Queue"));
    auto* send = NewRadio(QStringLiteral("Send Queue"));
    auto* nothing = NewRadio(QStringLiteral("Do Nothing"));
    start_.Add(empty, "0");
    start_.Add(send, "1");
    start_.Add(nothing, "2");
    auto* startGroup = NewGroup(QStringLiteral("On a&pplication start"));
    auto* startRow = new QHBoxLayout(startGroup);
    startRow->addWidget(empty);
    startRow->addWidget(send);
    startRow->addWidget(nothing);
    startRow->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(failedGroup);
    layout->addWidget(timeGroup);
    layout->addWidget(startGroup);
    layout->addStretch(1);

    connect(resendFail_, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(freqNum, &QRadioButton::toggled, this, [this] { UpdateEnabled(); });
    UpdateEnabled();
}

void QueuePage::UpdateEnabled() {
    const bool on = resendFail_->isChecked();
    freq_.Button(kUntilEnd)->setEnabled(on);
    freq_.Button(kFreqNum)->setEnabled(on);
    freqNum_->setEnabled(on && freq_.Chosen() == std::string(kFreqNum));
}

void QueuePage::Load() {
    resendFail_->setChecked(ReadInt(keys::ResendFail) == 1);
    // "UNTIL_END"; any other text resends a number of times.
    freq_.Select(IsResendUntilEnd(Read(keys::ResendFreq)) ? kUntilEnd : kFreqNum);
    ShowInt(freqNum_, ReadInt(keys::ResendFreqNum));
    ShowText(resendTime_, Read(keys::ResendTimePage));
    start_.Select(std::to_string(static_cast<int>(ParseStartQueueProg(ReadInt(keys::StartQueueProg)))));
    UpdateEnabled();
}

void QueuePage::StoreKeys() {
    WriteInt(keys::ResendFail, resendFail_->isChecked() ? 1 : 0);
    const std::string freq = freq_.Chosen().value_or(kFreqNum);
    Write(keys::ResendFreq, freq);
    if (freq != kFreqNum || !freqNum_->text().trimmed().isEmpty()) {
        WriteInt(keys::ResendFreqNum, IntOf(freqNum_));
    } else if (resendFail_->isChecked()) {
        // A warning only: the count keeps its value, the rest is stored.
        AskMessage(this, kMsgNeedResendCount, MessageKind::Information, MessageButtons::Ok);
    }
    Write(keys::ResendTimePage, TextOf(resendTime_));
    if (const auto chosen = start_.Chosen()) WriteInt(keys::StartQueueProg, std::stoi(*chosen));
}

}  // namespace zyfar
