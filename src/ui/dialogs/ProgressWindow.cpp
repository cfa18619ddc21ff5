#include "dialogs/ProgressWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/BusyAnimation.h"
#include "config/HelpWindow.h"

namespace zyfar {

ProgressWindow::ProgressWindow(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowTitleHint) {
    setWindowTitle(QStringLiteral("Zyfar"));
    setAccessibleName(QStringLiteral("Progress"));
    animation_ = new BusyAnimation(BusyAnimation::Kind::Transfer, this);
    animation_->setAccessibleName(QStringLiteral("Busy animation"));
    status_ = new QLabel(this);
    status_->setAccessibleName(QStringLiteral("Status"));
    status_->setMinimumWidth(280);
    status_->setWordWrap(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setAccessibleName(QStringLiteral("Cancel"));
    connect(cancel_, &QPushButton::clicked, this, [this] {
        Finish();
        emit Cancelled();
    });
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(animation_, 0, Qt::AlignHCenter);
    layout->addWidget(status_);
    layout->addLayout(row);
    InstallHelpKey(this, QStringLiteral("browsing"));
}

void ProgressWindow::SetStatus(const QString& text) { status_->setText(text); }

QString ProgressWindow::Status() const { return status_->text(); }

void ProgressWindow::Open(const QString& status) {
    SetStatus(status);
    cancel_->setText(QStringLiteral("Cancel"));
    if (!isVisible()) {
        if (QWidget* owner = parentWidget()) move(owner->mapToGlobal(QPoint(20, 20)));
        adjustSize();
        show();
    }
    animation_->Start();
}

void ProgressWindow::Finish() {
    animation_->Stop();
    hide();
}

void ProgressWindow::ShowEnded(const QString& status) {
    SetStatus(status);
    animation_->Stop();
    cancel_->setText(QStringLiteral("Close"));
    cancel_->setVisible(true);
    if (!isVisible()) show();
}

void ProgressWindow::SetCancelVisible(bool on) { cancel_->setVisible(on); }

void ProgressWindow::closeEvent(QCloseEvent* event) {
    // Closing the window by its frame is a Cancel.
    event->ignore();
    cancel_->click();
}

}  // namespace zyfar
