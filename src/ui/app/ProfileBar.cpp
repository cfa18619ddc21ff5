#include "app/ProfileBar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

#include "dialogs/Prompter.h"
#include "profiles/FileList.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"

namespace zyfar {
namespace {

constexpr int kPathRole = Qt::UserRole + 1;

int IndexOf(ProfileBar::Combo which) {
    return which == ProfileBar::Left ? 0 : which == ProfileBar::Right ? 1 : 2;
}

}  // namespace

ProfileBar::ProfileBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ProfileBar"));
    setAccessibleName(QStringLiteral("Profile bar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    const Combo ids[3] = {Left, Right, Links};
    for (int i = 0; i < 3; ++i) {
        labels_[i] = new QLabel(this);
        combos_[i] = new QComboBox(this);
        combos_[i]->setObjectName(QStringLiteral("combo%1").arg(ids[i]));
        combos_[i]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combos_[i]->setMinimumContentsLength(8);
        combos_[i]->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        labels_[i]->setBuddy(combos_[i]);
        row->addWidget(labels_[i]);
        row->addWidget(combos_[i], 1);
        const int combo = ids[i];
        // Only a choice the user makes counts (not a refill or a programmatic change).
        connect(combos_[i], &QComboBox::activated, this, [this, combo, i](int index) {
            if (index < 0) return;
            emit Picked(combo, combos_[i]->itemText(index), combos_[i]->itemData(index, kPathRole).toString());
        });
    }
    row->addStretch(0);
}

QComboBox* ProfileBar::ComboOf(Combo which) const { return combos_[IndexOf(which)]; }
QLabel* ProfileBar::LabelOf(Combo which) const { return labels_[IndexOf(which)]; }

ProfileBar::Holds ProfileBar::WhatHolds(Combo which) const {
    switch (which) {
    case Left: return screen_ == ScreenKind::Standard ? Holds::Nothing : Holds::Sites;
    case Right: return screen_ == ScreenKind::MultiplePut ? Holds::FileLists : Holds::Sites;
    case Links: return screen_ == ScreenKind::MultiplePut ? Holds::Links : Holds::Nothing;
    }
    return Holds::Nothing;
}

void ProfileBar::Prepare(ScreenKind screen) {
    screen_ = screen;
    const QString sites = MessageString(286);  // "FTP Sites"
    labels_[0]->setText(sites);
    labels_[1]->setText(screen == ScreenKind::MultiplePut ? MessageString(287) : sites);  // "File Profiles"
    labels_[2]->setText(MessageString(301));  // "Sites <->  File List"
    const QString hints[3] = {screen == ScreenKind::Standard ? QString() : tr("Choose a site"),
                              screen == ScreenKind::MultiplePut ? tr("Choose a file list") : tr("Choose a site"),
                              tr("Choose a link")};
    for (int i = 0; i < 3; ++i) {
        combos_[i]->setAccessibleName(labels_[i]->text().simplified());
        combos_[i]->setPlaceholderText(hints[i]);
    }
    combos_[0]->setEnabled(screen != ScreenKind::Standard);
    const bool links = screen == ScreenKind::MultiplePut;
    labels_[2]->setVisible(links);
    combos_[2]->setVisible(links);
    Fill(Left);
    Fill(Right);
    Fill(Links);
}

void ProfileBar::Fill(Combo which) {
    QComboBox* combo = ComboOf(which);
    combo->clear();
    std::vector<NamedPath> entries;
    switch (WhatHolds(which)) {
    case Holds::Nothing: return;
    case Holds::Sites: entries = ListSiteProfiles(); break;
    case Holds::FileLists: entries = ListFileLists(); break;
    case Holds::Links: entries = ListLinks(); break;
    }
    for (const NamedPath& e : entries)
        AddEntry(combo, QString::fromStdString(e.name), QString::fromStdString(e.path));
    combo->setCurrentIndex(-1);
}

void ProfileBar::RefillAll() {
    for (Combo c : {Left, Right, Links}) Fill(c);
}

bool ProfileBar::AddEntry(QComboBox* combo, const QString& name, const QString& path) {
    if (combo->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0) return false;
    // Sorted: the first entry that sorts after the new name.
    int at = 0;
    while (at < combo->count() && QString::localeAwareCompare(combo->itemText(at), name) <= 0) ++at;
    const int current = combo->currentIndex();
    combo->insertItem(at, name);
    combo->setItemData(at, path, kPathRole);
    combo->setCurrentIndex(current >= at && current >= 0 ? current + 1 : current);
    return true;
}

bool ProfileBar::RemoveEntry(QComboBox* combo, const QString& name) {
    const int at = combo->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at < 0) return false;
    combo->removeItem(at);
    return true;
}

bool ProfileBar::AddSiteProfile(const QString& name, const QString& path) {
    bool any = false;
    for (Combo c : {Left, Right})
        if (WhatHolds(c) == Holds::Sites) any = AddEntry(ComboOf(c), name, path) || any;
    return any;
}

bool ProfileBar::RemoveSiteProfile(const QString& name) {
    bool any = false;
    for (Combo c : {Left, Right})
        if (WhatHolds(c) == Holds::Sites) any = RemoveEntry(ComboOf(c), name) || any;
    return any;
}

bool ProfileBar::AddFileList(const QString& name, const QString& path) {
    return WhatHolds(Right) == Holds::FileLists && AddEntry(ComboOf(Right), name, path);
}

bool ProfileBar::RemoveFileList(const QString& name) {
    return WhatHolds(Right) == Holds::FileLists && RemoveEntry(ComboOf(Right), name);
}

int ProfileBar::AddLink(const QString& name, const QString& path) {
    if (WhatHolds(Links) != Holds::Links) return -1;
    return AddEntry(ComboOf(Links), name, path) ? 1 : 0;
}

int ProfileBar::RemoveLink(const QString& name) {
    if (WhatHolds(Links) != Holds::Links) return -1;
    return RemoveEntry(ComboOf(Links), name) ? 1 : 0;
}

int ProfileBar::ClearLinks() {
    if (WhatHolds(Links) != Holds::Links) return -1;
    ComboOf(Links)->clear();
    return 0;
}

QString ProfileBar::SelectedFileList() const {
    if (WhatHolds(Right) != Holds::FileLists) return {};
    const QComboBox* combo = ComboOf(Right);
    return combo->currentIndex() < 0 ? QString() : combo->currentData(kPathRole).toString();
}

}  // namespace zyfar
