#pragma once
// The profile bar: three labelled combos whose entries name site profiles,
// file lists and links, each carrying the full path of what it names. Which
// combos show and what they hold depends on the screen:
//   Standard FTP:     1193 disabled,            1194 site profiles, 1206 hidden
//   Remote FTP:       1193 site profiles,       1194 site profiles, 1206 hidden
//   Multiple FTP Put: 1193 site profiles,       1194 file lists,    1206 links
// The combos are sorted; an entry whose name is already there is not added.
#include <QWidget>
#include <string>

#include "settings/Keys.h"

class QComboBox;
class QLabel;

namespace zyfar {


class ProfileBar : public QWidget {
    Q_OBJECT
public:
    enum Combo { Left = 1193, Right = 1194, Links = 1206 };

    explicit ProfileBar(QWidget* parent = nullptr);

    // Labels, enabled and shown combos, and their entries for a screen.
    void Prepare(ScreenKind screen);
    [[nodiscard]] ScreenKind Screen() const { return screen_; }

    // Every combo read again from the disk (after the profile windows changed it).
    void RefillAll();

    // Adds (name, path) unless the name is there; removes by exact name.
    // Answer false when the combo does not take that kind on this screen.
    bool AddSiteProfile(const QString& name, const QString& path);
    bool RemoveSiteProfile(const QString& name);
    bool AddFileList(const QString& name, const QString& path);
    bool RemoveFileList(const QString& name);
    // -1 when the links combo is not shown (not on Multiple FTP Put).
    int AddLink(const QString& name, const QString& path);
    int RemoveLink(const QString& name);
    int ClearLinks();

    // The path carried by the selected entry of combo 1194 on Multiple FTP
    // Put (the selected file list), or empty.
    [[nodiscard]] QString SelectedFileList() const;

    [[nodiscard]] QComboBox* ComboOf(Combo which) const;
    [[nodiscard]] QLabel* LabelOf(Combo which) const;

signals:
    // The user picked an entry (name, path).
    void Picked(int combo, const QString& name, const QString& path);

private:
    enum class Holds { Nothing, Sites, FileLists, Links };
    [[nodiscard]] Holds WhatHolds(Combo which) const;
    void Fill(Combo which);
    static bool AddEntry(QComboBox* combo, const QString& name, const QString& path);
    static bool RemoveEntry(QComboBox* combo, const QString& name);

    ScreenKind screen_ = ScreenKind::MultiplePut;
    QLabel* labels_[3] = {};
    QComboBox* combos_[3] = {};
};

}  // namespace zyfar
