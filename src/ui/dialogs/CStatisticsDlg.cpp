#include "dialogs/CStatisticsDlg.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "dialogs/BusyAnimation.h"
#include "config/HelpWindow.h"
#include "engine/TransferStats.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

constexpr int kRefreshMs = 1000;
// Moves while the user drags come in bursts; the position is stored once the window rests.
constexpr int kSaveDelayMs = 300;

QPointer<CStatisticsDlg>& TheInstance() {
    static QPointer<CStatisticsDlg> instance;
    return instance;
}

void SetIfChanged(QLineEdit* field, const std::string& text) {
    const QString q = QString::fromStdString(text);
    if (field->text() != q) field->setText(q);
}

}  // namespace

CStatisticsDlg* CStatisticsDlg::Instance() { return TheInstance().data(); }

CStatisticsDlg* CStatisticsDlg::Show(QWidget* parent) {
    if (CStatisticsDlg* open = Instance()) {
        open->showNormal();
        open->raise();
        open->activateWindow();
        return open;
    }
    auto* dialog = new CStatisticsDlg(parent);
    TheInstance() = dialog;
    dialog->adjustSize();
    const int x = ReadInt(keys::SysInfoX);
    const int y = ReadInt(keys::SysInfoY);
    if (x >= 1 && y >= 1) {
        dialog->move(x, y);
    } else {
        const QScreen* screen = parent != nullptr && parent->screen() != nullptr ? parent->screen()
                                                                                : QGuiApplication::primaryScreen();
        if (screen != nullptr) {
            dialog->move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, dialog->size(),
                                             screen->availableGeometry())
                             .topLeft());
        }
    }
    // The moves that creating, placing and showing the window cause are not
    // the user's: only a move away from where it was put is stored.
    dialog->placedAt_ = dialog->pos();
    dialog->show();
    dialog->tracking_ = true;
    dialog->animation_->Start();
    dialog->refresh_->start();
    dialog->Refresh();
    return dialog;
}

CStatisticsDlg::CStatisticsDlg(QWidget* parent) : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(tr("Transfer Statistics"));
    setAccessibleName(windowTitle());

    const auto field = [this](const QString& name) {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        edit->setAccessibleName(name);
        edit->setAlignment(Qt::AlignRight);
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 18);
        return edit;
    };
    localRead_ = field(tr("Local Bytes Read"));
    localWritten_ = field(tr("Local Bytes Written"));
    remoteRead_ = field(tr("Remote Bytes Read"));
    remoteWritten_ = field(tr("Remote Bytes Written"));
    files_ = field(tr("Total Files Transferred"));
    localRate_ = field(tr("Transfer Rate (local)"));
    localTime_ = field(tr("Total Transfer Time (local)"));
    remoteRate_ = field(tr("Transfer Rate (remote)"));
    remoteTime_ = field(tr("Total Transfer Time (remote)"));

    auto* grid = new QGridLayout;
    int row = 0;
    const auto add = [&](const QString& label, QLineEdit* edit, const QString& unit = QString()) {
        auto* l = new QLabel(label, this);
        l->setBuddy(edit);
        grid->addWidget(l, row, 0);
        grid->addWidget(edit, row, 1);
        if (!unit.isEmpty()) grid->addWidget(new QLabel(unit, this), row, 2);
        ++row;
    };
    add(tr("Local Bytes Read:"), localRead_);
    add(tr("Local Bytes Written:"), localWritten_);
    add(tr("Remote Bytes Read:"), remoteRead_);
    add(tr("Remote Bytes Written:"), remoteWritten_);
    add(tr("Total Files Transferred:"), files_);
    add(tr("Transfer Rate (local):"), localRate_, tr("kbps"));
    add(tr("Total Transfer Time:"), localTime_);
    add(tr("Transfer Rate (remote):"), remoteRate_, tr("kbps"));
    add(tr("Total Transfer Time:"), remoteTime_);

    animation_ = new BusyAnimation(BusyAnimation::Kind::Statistics, this);
    auto* close = new QPushButton(tr("Close"), this);
    close->setAccessibleName(tr("Close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* side = new QVBoxLayout;
    side->addWidget(animation_, 0, Qt::AlignHCenter);
    side->addStretch();
    side->addWidget(MakeHelpButton(this, QStringLiteral("statistics")));
    side->addWidget(close);

    auto* top = new QHBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(side);
    top->setSizeConstraint(QLayout::SetFixedSize);

    refresh_ = new QTimer(this);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, this, &CStatisticsDlg::Refresh);
    saveTimer_ = new QTimer(this);
    saveTimer_->setSingleShot(true);
    saveTimer_->setInterval(kSaveDelayMs);
    connect(saveTimer_, &QTimer::timeout, this, &CStatisticsDlg::SavePosition);
}

void CStatisticsDlg::Refresh() {
    const StatisticsTexts t = FormatStatistics(ReadStatistics());
    SetIfChanged(localRead_, t.localBytesRead);
    SetIfChanged(localWritten_, t.localBytesWritten);
    SetIfChanged(remoteRead_, t.remoteBytesRead);
    SetIfChanged(remoteWritten_, t.remoteBytesWritten);
    SetIfChanged(files_, t.filesTransferred);
    SetIfChanged(localRate_, t.localRate);
    SetIfChanged(localTime_, t.localTime);
    SetIfChanged(remoteRate_, t.remoteRate);
    SetIfChanged(remoteTime_, t.remoteTime);
}

QString CStatisticsDlg::FieldText(const QString& label) const {
    const std::pair<const char*, const QLineEdit*> fields[] = {
        {"Local Bytes Read:", localRead_},
        {"Local Bytes Written:", localWritten_},
        {"Remote Bytes Read:", remoteRead_},
        {"Remote Bytes Written:", remoteWritten_},
        {"Total Files Transferred:", files_},
        {"Transfer Rate (local):", localRate_},
        {"Total Transfer Time:", localTime_},
        {"Transfer Rate (remote):", remoteRate_},
        {"Total Transfer Time: (remote)", remoteTime_},
    };
    for (const auto& [name, edit] : fields) {
        if (label == QLatin1String(name)) return edit->text();
    }
    return {};
}

void CStatisticsDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (!tracking_ || (!movedByUser_ && pos() == placedAt_)) return;
    movedByUser_ = true;
    saveTimer_->start();
}

void CStatisticsDlg::SavePosition() {
    WriteInt(keys::SysInfoX, pos().x());
    WriteInt(keys::SysInfoY, pos().y());
}

void CStatisticsDlg::closeEvent(QCloseEvent* event) {
    refresh_->stop();
    animation_->Stop();
    if (saveTimer_->isActive()) {
        saveTimer_->stop();
        SavePosition();
    }
    event->accept();
}

}  // namespace zyfar
