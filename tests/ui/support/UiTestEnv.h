#pragma once
// A private settings store and profile tree for one GUI test case: the
// settings file and CONFIG ProfilePath point into a temporary folder, with
// the Profiles, Files and Links folders made.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "settings/SettingsStore.h"

namespace zyfar::uitest {

class UiTestEnv {
public:
    UiTestEnv() {
        SetSettingsFileForTesting(Path("Zyfar.ini"));
        WriteProfileString("CONFIG", "ProfilePath", Path("base"));
        // Tests that are not about the e-mail prompt start with an address.
        WriteProfileString("CONFIG", "Email", "tester@example.org");
        (void)EnsureProfileFolders();
    }
    ~UiTestEnv() { SetSettingsFileForTesting(""); }
    UiTestEnv(const UiTestEnv&) = delete;
    UiTestEnv& operator=(const UiTestEnv&) = delete;

    [[nodiscard]] std::string Path(const std::string& name) const {
        return (dir_.path() + QLatin1Char('/') + QString::fromStdString(name)).toStdString();
    }
    // Writes a text file, making its folders.
    void WriteFile(const std::string& name, const std::string& text) const {
        const QString path = QString::fromStdString(Path(name));
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(text.data(), static_cast<qint64>(text.size()));
    }

private:
    QTemporaryDir dir_;
};

}  // namespace zyfar::uitest
