#include "config/SoundsPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"
#include "platform/SoundPlayer.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

// The page's reads: an absent key gives "NOT_FOUND", shown as an empty field.
constexpr const char* kPageAbsent = "NOT_FOUND";

struct SoundRow {
    const KeyDef* key;
    const char* label;
};
const SoundRow kRows[4] = {
    {&keys::SoundConnectOkPage, "Connection &Established"},
    {&keys::SoundTransferOkPage, "Transfer &done"},
    {&keys::SoundConnectFailPage, "Co&nnection Failed"},
    {&keys::SoundTransferFailPage, "Transfer Fa&iled"},
};

const char* const kPerFile = "FILE";
const char* const kPerBatch = "BATCH";

}  // namespace

SoundsPage::SoundsPage(QWidget* parent)
    : ConfigPage(QStringLiteral("So&unds"), QStringLiteral("config-sounds"), parent), per_(this) {
    auto* eventsGroup = NewGroup(QStringLiteral("Sound Files"));
    auto* grid = new QGridLayout(eventsGroup);
    for (int i = 0; i < 4; ++i) {
        const QString label = QString::fromLatin1(kRows[i].label);
        QLineEdit* field = NewLineEdit(Plain(label));
        field->setPlaceholderText(QStringLiteral("No sound"));
        fields_[i] = field;
        QPushButton* browse = NewButton(QStringLiteral("Browse"));
        browse->setAccessibleName(QStringLiteral("Browse for %1").arg(Plain(label)));
        QPushButton* test = NewButton(QStringLiteral("Test"));
        test->setAccessibleName(QStringLiteral("Test %1").arg(Plain(label)));
        grid->addWidget(NewLabel(label, field), i, 0);
        grid->addWidget(field, i, 1);
        grid->addWidget(browse, i, 2);
        grid->addWidget(test, i, 3);
        connect(browse, &QPushButton::clicked, this, [this, field] { Browse(field); });
        connect(test, &QPushButton::clicked, this, [field] {
            if (!field->text().isEmpty()) GetSoundPlayer()->Play(field->text().toStdString());
        });
    }
    grid->setColumnStretch(1, 1);

    auto* perFile = NewRadio(QStringLiteral("File"));
    auto* perBatch = NewRadio(QStringLiteral("Batch of files"));
    per_.Add(perFile, kPerFile);
    per_.Add(perBatch, kPerBatch);
    auto* perGroup = NewGroup(QStringLiteral("Transfer sounds &per"));
    auto* perRow = new QHBoxLayout(perGroup);
    perRow->addWidget(perFile);
    perRow->addWidget(perBatch);
    perRow->addStretch(1);

    QPushButton* clear = NewButton(QStringLiteral("Clea&r"));
    clear->setToolTip(QStringLiteral("Empty all four sound fields"));
    connect(clear, &QPushButton::clicked, this, [this] {
        for (QLineEdit* f : fields_) f->clear();
    });
    auto* clearRow = new QHBoxLayout;
    clearRow->addStretch(1);
    clearRow->addWidget(clear);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(eventsGroup);
    layout->addWidget(perGroup);
    layout->addLayout(clearRow);
    layout->addStretch(1);
}

void SoundsPage::Browse(QLineEdit* field) {
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = QStringLiteral("Browse");
    request.folder = QString::fromLatin1(kSoundFolder);
    request.filter = QStringLiteral("Sound Files (*.wav *.oga *.ogg)");
    request.defaultSuffix = QStringLiteral("wav");
    if (const auto chosen = Prompt().ChooseFile(this, request)) field->setText(*chosen);
}

void SoundsPage::Load() {
    for (int i = 0; i < 4; ++i) {
        const std::string value = Read(*kRows[i].key);
        ShowText(fields_[i], value == kPageAbsent ? std::string() : value);
    }
    // "Batch of files" for "BATCH" (and absent), "File" for any other text.
    per_.Select(Read(keys::SoundTransferType) == kPerBatch ? kPerBatch : kPerFile);
}

void SoundsPage::StoreKeys() {
    for (int i = 0; i < 4; ++i) Write(*kRows[i].key, TextOf(fields_[i]));
    Write(keys::SoundTransferType, per_.Chosen() == std::string(kPerFile) ? kPerFile : kPerBatch);
}

}  // namespace zyfar
