#include "dialogs/CTransferDlg.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "dialogs/BusyAnimation.h"
#include "config/HelpWindow.h"
#include "dialogs/Prompter.h"
#include "engine/TransferController.h"
#include "engine/TransferRun.h"

namespace zyfar {
namespace {

constexpr int kRefreshMs = 100;
constexpr const char* kCancelSendingText = "Cancel FTP sending?";
constexpr const char* kSerialCancelText = "This is a Serial FTP Put transfer. Cancel all or just this one?";

// The windows open now (GUI thread only).
QList<CTransferDlg*>& OpenDialogs() {
    static QList<CTransferDlg*> dialogs;
    return dialogs;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

QLabel* TextField(const QString& accessibleName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAccessibleName(accessibleName);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QProgressBar* Bar(const QString& accessibleName, QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setAccessibleName(accessibleName);
    return bar;
}

void ShowText(QLabel* field, std::string& shown, const std::string& now) {
    if (shown == now) return;
    shown = now;
    field->setText(Q(now));
}

// A long path shows its end, where the file name is.
void ShowPath(QLineEdit* field, std::string& shown, const std::string& now) {
    if (shown == now) return;
    shown = now;
    field->setText(Q(now));
    field->end(false);
    field->setToolTip(Q(now));
}

void ShowBar(QProgressBar* bar, int& shown, int now) {
    if (shown == now) return;
    shown = now;
    bar->setValue(now);
}

}  // namespace

QPoint PlaceNextTo(const QRect& previous, const QRect& available) {
    // Edges as the window system counts them: right and bottom one past the last pixel.
    const int previousRight = previous.x() + previous.width();
    const int previousBottom = previous.y() + previous.height();
    const int availableRight = available.x() + available.width();
    const int availableBottom = available.y() + available.height();
    const int x = previousRight + 10 < availableRight ? previous.x() + 10 : available.x() + 20;
    const int y = previousBottom + 20 < availableBottom ? previous.y() + 20 : available.y() + 40;
    return {x, y};
}

CTransferDlg::CTransferDlg(std::unique_ptr<TransferRun> run, QWidget* placement, QWidget* parent,
                           TransferQueueSink* sink)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint),
      controller_(std::make_unique<TransferController>(std::move(run), sink)) {
    OpenDialogs().append(this);
    setModal(false);
    setWindowTitle(Q(TransferTitle(controller_->run())));
    setAccessibleName(windowTitle());
    BuildUi();

    refresh_ = new QTimer(this);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, this, &CTransferDlg::Refresh);

    adjustSize();
    if (placement != nullptr && placement->isVisible()) {
        const QScreen* screen = placement->screen();
        const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
        move(PlaceNextTo(placement->frameGeometry(), available));
        // A batch of windows does not take the keyboard from the user one by one.
        setAttribute(Qt::WA_ShowWithoutActivating);
    }
    show();
    animation_->Start();

    // The worker only posts one call; the end runs here, on the GUI thread.
    controller_->SetWorkerDoneHandler(
        [this] { QMetaObject::invokeMethod(this, &CTransferDlg::OnWorkerDone, Qt::QueuedConnection); });
    controller_->Start();
    refresh_->start();
    Refresh();
}

CTransferDlg::~CTransferDlg() {
    closing_ = true;
    OpenDialogs().removeAll(this);
    refresh_->stop();
    if (controller_) {
        // A worker still running is cancelled and joined before anything it
        // uses goes away; either way FinishTransfer runs (once).
        if (controller_->WorkerDone()) {
            controller_->Finish();
        } else {
            controller_->Cancel();
        }
    }
    controller_.reset();
}

TransferRun& CTransferDlg::run() { return controller_->run(); }

int CTransferDlg::OpenCount() { return static_cast<int>(OpenDialogs().size()); }

void CTransferDlg::CancelAll() {
    QList<QPointer<CTransferDlg>> dialogs;
    for (CTransferDlg* d : OpenDialogs()) dialogs.append(d);
    for (const QPointer<CTransferDlg>& d : dialogs) {
        if (!d || d->closing_) continue;
        if (d->asking_) {
            d->pendingEnd_ = PendingEnd::Cancel;
            continue;
        }
        d->CancelAndClose();
    }
}

void CTransferDlg::BuildUi() {
    animation_ = new BusyAnimation(BusyAnimation::Kind::Transfer, this);

    server_ = TextField(tr("FTP Server"), this);
    localFile_ = new QLineEdit(this);
    localFile_->setReadOnly(true);
    localFile_->setAccessibleName(tr("Local File"));
    remoteFile_ = new QLineEdit(this);
    remoteFile_->setReadOnly(true);
    remoteFile_->setAccessibleName(tr("Remote File"));
    // About 36 characters of a path fit; a longer one shows its end.
    const int fieldWidth = localFile_->fontMetrics().averageCharWidth() * 38;
    localFile_->setMinimumWidth(fieldWidth);
    remoteFile_->setMinimumWidth(fieldWidth);

    auto* names = new QFormLayout;
    names->addRow(tr("FTP Server:"), server_);
    names->addRow(tr("Local File:"), localFile_);
    names->addRow(tr("Remote File:"), remoteFile_);

    const auto group = [this](const QString& title, QLabel*& bytes, QProgressBar*& bar, QLabel*& rate,
                              QLabel*& left) {
        auto* box = new QGroupBox(title, this);
        box->setAccessibleName(title);
        bytes = TextField(title + tr(" bytes"), box);
        bar = Bar(title + tr(" progress"), box);
        rate = TextField(title + tr(" rate"), box);
        left = TextField(title + tr(" time left"), box);
        auto* row = new QHBoxLayout;
        row->addWidget(rate);
        row->addStretch();
        row->addWidget(left);
        auto* layout = new QVBoxLayout(box);
        layout->addWidget(bytes);
        layout->addWidget(bar);
        layout->addLayout(row);
        return box;
    };
    QGroupBox* file = group(tr("Current file"), fileBytes_, fileBar_, fileRate_, fileLeft_);
    // A file continued from an earlier attempt says so under its bytes; the
    // line stays (empty) otherwise, so the window does not jump.
    resumed_ = TextField(tr("Current file resumed"), file);
    static_cast<QVBoxLayout*>(file->layout())->insertWidget(1, resumed_);
    QGroupBox* batch = group(tr("All files"), batchBytes_, batchBar_, batchRate_, batchLeft_);

    cancel_ = new QPushButton(tr("Cancel"), this);
    cancel_->setAccessibleName(tr("Cancel"));
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &CTransferDlg::CancelClicked);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    buttons->addStretch();

    auto* top = new QVBoxLayout(this);
    top->addWidget(animation_, 0, Qt::AlignHCenter);
    top->addLayout(names);
    top->addWidget(file);
    top->addWidget(batch);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);
    InstallHelpKey(this, QStringLiteral("transfer"));
}

void CTransferDlg::Refresh() {
    if (!controller_) return;
    const ProgressSnapshot s = controller_->run().progress.Snapshot();
    ShowText(server_, shown_.server, s.server);
    ShowPath(localFile_, shown_.localFile, s.localFile);
    ShowPath(remoteFile_, shown_.remoteFile, s.remoteFile);
    ShowText(fileBytes_, shown_.fileBytes, s.fileBytes);
    ShowText(fileRate_, shown_.fileRate, s.fileRate);
    ShowText(fileLeft_, shown_.fileLeft, s.fileLeft);
    ShowBar(fileBar_, shown_.fileBar, s.fileBar);
    if (shown_.fileResumedFrom != s.fileResumedFrom) {
        shown_.fileResumedFrom = s.fileResumedFrom;
        resumed_->setText(s.fileResumedFrom > 0 ? tr("Resumed at %1 bytes").arg(s.fileResumedFrom) : QString());
    }
    ShowText(batchBytes_, shown_.batchBytes, s.batchBytes);
    ShowText(batchRate_, shown_.batchRate, s.batchRate);
    ShowText(batchLeft_, shown_.batchLeft, s.batchLeft);
    ShowBar(batchBar_, shown_.batchBar, s.batchBar);
}

void CTransferDlg::OnWorkerDone() {
    if (closing_) return;
    FinishAndClose();
}

void CTransferDlg::FinishAndClose() {
    if (closing_) return;
    if (asking_) {
        if (pendingEnd_ == PendingEnd::None) pendingEnd_ = PendingEnd::Finish;
        return;
    }
    closing_ = true;
    refresh_->stop();
    animation_->Stop();
    controller_->Finish();
    hide();
    deleteLater();
}

void CTransferDlg::CancelAndClose() {
    if (closing_) return;
    closing_ = true;
    refresh_->stop();
    animation_->Stop();
    controller_->Cancel();
    hide();
    deleteLater();
}

bool CTransferDlg::EndedWhileAsking() {
    if (pendingEnd_ == PendingEnd::Cancel) {
        CancelAndClose();
        return true;
    }
    // The worker may have ended before its call to this window arrived.
    if (pendingEnd_ == PendingEnd::Finish || controller_->WorkerDone()) {
        FinishAndClose();
        return true;
    }
    return false;
}

void CTransferDlg::reject() { CancelClicked(); }

void CTransferDlg::closeEvent(QCloseEvent* event) {
    // The close box does nothing: a transfer ends by itself or by Cancel.
    if (!closing_) event->ignore();
}

void CTransferDlg::CancelClicked() {
    if (asking_ || closing_) return;
    asking_ = true;
    controller_->Suspend();
    if (controller_->run().serial) {
        AskSerial();
    } else {
        AskSingle();
    }
}

void CTransferDlg::AskSingle() {
    const QPointer<CTransferDlg> self(this);
    const QString text = Q(controller_->run().source.host) + QStringLiteral(": ") + QLatin1String(kCancelSendingText);
    const MessageAnswer answer =
        Prompt().Message(this, MessageRequest{0, text, MessageKind::Question, MessageButtons::YesNo});
    if (!self) return;
    asking_ = false;
    if (EndedWhileAsking()) return;
    if (answer == MessageAnswer::Yes) {
        CancelAndClose();
    } else {
        controller_->Resume();
    }
}

void CTransferDlg::AskSerial() {
    const QPointer<CTransferDlg> self(this);
    ThreeButtonRequest request;
    request.title = windowTitle();
    request.question = QLatin1String(kSerialCancelText);
    request.buttons[0] = tr("All");
    request.buttons[1] = tr("Only this one");
    request.buttons[2] = tr("Cancel");
    const int button = Prompt().ThreeButtons(this, request);
    if (!self) return;
    asking_ = false;
    if (EndedWhileAsking()) return;
    switch (button) {
    case 0: CancelAndClose(); break;
    case 1: OnlyThisOne(); break;
    default: controller_->Resume(); break;
    }
}

void CTransferDlg::OnlyThisOne() {
    switch (controller_->CancelOnlyThisOne()) {
    case TransferController::OnlyThisOne::AbortedCopy:
        // The current file ends as cancelled; the worker goes on with the next site.
    case TransferController::OnlyThisOne::SkippedSite:
        // A new worker serves the sites after this one.
        break;
    case TransferController::OnlyThisOne::Finished:
        // That was the last site: the run has ended (FinishTransfer ran).
        closing_ = true;
        refresh_->stop();
        animation_->Stop();
        hide();
        deleteLater();
        break;
    }
}

}  // namespace zyfar
