#include "config/SystemPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"
#include "platform/Paths.h"
#include "settings/ConfigRules.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

QGroupBox* RadioColumn(QGroupBox* group, std::initializer_list<QRadioButton*> buttons) {
    auto* column = new QVBoxLayout(group);
    for (QRadioButton* b : buttons) column->addWidget(b);
    column->addStretch(1);
    return group;
}

}  // namespace

SystemPage::SystemPage(QWidget* parent)
    : ConfigPage(QStringLiteral("&System"), QStringLiteral("config-system"), parent),
      timeType_(this),
      casingPut_(this),
      casingGet_(this) {
    dataButton_ = NewButton(QStringLiteral("Zyfar &Data Files"));
    logButton_ = NewButton(QStringLiteral("Log Dire&ctory"));
    profileButton_ = NewButton(QStringLiteral("&Profile Directory"));
    dataDir_ = FolderField(dataButton_, QStringLiteral("Zyfar Data Files"));
    dataDir_->setPlaceholderText(QStringLiteral("The current folder"));
    logDir_ = FolderField(logButton_, QStringLiteral("Log Directory"));
    logDir_->setPlaceholderText(QString::fromStdString(DefaultLogFolder()));
    profileDir_ = FolderField(profileButton_, QStringLiteral("Profile Directory"));
    profileDir_->setPlaceholderText(QString::fromStdString(DefaultProfileBase()));

    connectNet_ = NewCheckBox(QStringLiteral("Connect To &Network Drives"));
    overwrite_ = NewCheckBox(QStringLiteral("&Overwrite Existing Files"));
    dragDropSubDirs_ = NewCheckBox(QStringLiteral("Drag and Drop Sub-Directories from Windows &Explorer"));

    const std::pair<const char*, const char*> dates[] = {
        {"mm/dd/yyyy", "MM/DD"}, {"dd/mm/yyyy", "DD/MM"}, {"mmm/dd/yyyy", "MON/DD"}, {"dd/mmm/yyyy", "DD/MON"}};
    auto* dateGroup = NewGroup(QStringLiteral("File Date Rep&resentation"));
    auto* dateColumn = new QVBoxLayout(dateGroup);
    for (const auto& [label, value] : dates) {
        QRadioButton* b = NewRadio(QString::fromLatin1(label));
        timeType_.Add(b, value);
        dateColumn->addWidget(b);
    }
    dateColumn->addStretch(1);

    readBuffer_ = NewNumberEdit(QStringLiteral("Read Buffer"));
    writeBuffer_ = NewNumberEdit(QStringLiteral("Write Buffer"));
    auto* bufferGroup = NewGroup(QStringLiteral("Buffer Sizes in Bytes"));
    auto* bufferForm = new QFormLayout(bufferGroup);
    bufferForm->addRow(NewLabel(QStringLiteral("Read &Buffer"), readBuffer_), readBuffer_);
    bufferForm->addRow(NewLabel(QStringLiteral("&Write Buffer"), writeBuffer_), writeBuffer_);

    auto casingGroup = [this](const QString& title, ChoiceGroup& choice) {
        QRadioButton* buttons[3] = {NewRadio(QStringLiteral("Preserve Case")), NewRadio(QStringLiteral("Upper Case")),
                                    NewRadio(QStringLiteral("Lower Case"))};
        const FileCasing casings[3] = {FileCasing::Preserve, FileCasing::Upper, FileCasing::Lower};
        for (int i = 0; i < 3; ++i) choice.Add(buttons[i], FileCasingText(casings[i]));
        return RadioColumn(NewGroup(title), {buttons[0], buttons[1], buttons[2]});
    };
    QGroupBox* putGroup = casingGroup(QStringLiteral("Upload F&ile Names (PUT)"), casingPut_);
    QGroupBox* getGroup = casingGroup(QStringLiteral("Download File Names (&GET)"), casingGet_);

    auto* folders = NewGroup(QStringLiteral("Folders"));
    auto* folderGrid = new QGridLayout(folders);
    int row = 0;
    for (auto [button, field] : {std::pair{dataButton_, dataDir_}, std::pair{logButton_, logDir_},
                                 std::pair{profileButton_, profileDir_}}) {
        folderGrid->addWidget(button, row, 0);
        folderGrid->addWidget(field, row, 1);
        ++row;
    }
    folderGrid->setColumnStretch(1, 1);

    auto* options = NewGroup(QStringLiteral("Options"));
    auto* optionColumn = new QVBoxLayout(options);
    optionColumn->addWidget(connectNet_);
    optionColumn->addWidget(overwrite_);
    optionColumn->addWidget(dragDropSubDirs_);

    auto* grid = new QGridLayout;
    grid->addWidget(dateGroup, 0, 0);
    grid->addWidget(bufferGroup, 0, 1);
    grid->addWidget(putGroup, 1, 0);
    grid->addWidget(getGroup, 1, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(folders);
    layout->addWidget(options);
    layout->addLayout(grid);
    layout->addStretch(1);
}

QLineEdit* SystemPage::FolderField(QPushButton* button, const QString& accessibleName) {
    QLineEdit* field = NewLineEdit(accessibleName);
    field->setReadOnly(true);
    button->setToolTip(QStringLiteral("Choose the folder"));
    connect(button, &QPushButton::clicked, this, [this, field] {
        FileRequest request;
        request.kind = FileRequest::Kind::Folder;
        request.title = QStringLiteral("Browse ...");
        request.folder = field->text();
        if (const auto chosen = Prompt().ChooseFile(this, request)) field->setText(*chosen);
    });
    return field;
}

void SystemPage::Load() {
    ShowText(dataDir_, Read(keys::DataDir));
    ShowText(logDir_, Read(keys::DefaultDir));
    ShowText(profileDir_, Read(keys::ProfilePath));
    connectNet_->setChecked(ReadYes(keys::ConnectNet));
    overwrite_->setChecked(ReadYes(keys::Overwrite));
    dragDropSubDirs_->setChecked(ReadYes(keys::DragDropSubDirs));
    timeType_.Select(Read(keys::TimeTypePage));  // an unknown text checks none
    ShowInt(readBuffer_, ReadInt(keys::ReadBuffer));
    ShowInt(writeBuffer_, ReadInt(keys::WriteBuffer));
    casingPut_.Select(FileCasingText(ParseFileCasing(Read(keys::FileCasingPut))));
    casingGet_.Select(FileCasingText(ParseFileCasing(Read(keys::FileCasingGet))));
}

bool SystemPage::Validate() {
    const ProfileBaseChoice choice = ProfileBaseFromField(TextOf(profileDir_));
    if (!choice.makeFolders) return true;
    const std::string failed = MakeProfileFolders(choice.base);
    if (failed.empty()) return true;
    AskText(this, QStringLiteral("The folder\n%1\ncould not be created. Please choose another profile directory.")
                      .arg(QString::fromStdString(failed)),
            MessageKind::Stop, MessageButtons::Ok);
    profileButton_->setFocus();
    return false;
}

void SystemPage::StoreKeys() {
    Write(keys::DataDir, TextOf(dataDir_));
    Write(keys::DefaultDir, TextOf(logDir_));
    const ProfileBaseChoice choice = ProfileBaseFromField(TextOf(profileDir_));
    Write(keys::ProfilePath, choice.base);
    ShowText(profileDir_, choice.base);
    StoreYesNo(keys::ConnectNet, connectNet_);
    StoreYesNo(keys::Overwrite, overwrite_);
    StoreYesNo(keys::DragDropSubDirs, dragDropSubDirs_);
    if (const auto chosen = timeType_.Chosen()) Write(keys::TimeTypePage, *chosen);
    WriteInt(keys::ReadBuffer, IntOf(readBuffer_));
    WriteInt(keys::WriteBuffer, IntOf(writeBuffer_));
    if (const auto chosen = casingPut_.Chosen()) Write(keys::FileCasingPut, *chosen);
    if (const auto chosen = casingGet_.Chosen()) Write(keys::FileCasingGet, *chosen);
}

}  // namespace zyfar
