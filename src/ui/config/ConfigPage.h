#pragma once
// The base of the configuration sheet's pages. A page reads its keys the
// first time it is shown, tracks whether the user changed anything (every
// edit, check box, radio button and combo marks it modified), checks its
// fields before anything is stored, and writes its keys in a fixed order.
//
// The widget factories name each control for screen readers after its text
// (without the mnemonic "&") and connect it to the modified flag.
#include <QString>
#include <QWidget>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zyfar {

struct KeyDef;

class ConfigPage : public QWidget {
    Q_OBJECT
public:
    ConfigPage(const QString& title, const QString& helpTopic, QWidget* parent = nullptr);

    // The tab's text (with its mnemonic) and the help topic of the page.
    [[nodiscard]] const QString& Title() const { return title_; }
    [[nodiscard]] const QString& HelpTopic() const { return helpTopic_; }

    // Reads the page's keys the first time; later calls do nothing.
    void EnsureLoaded();
    [[nodiscard]] bool Loaded() const { return loaded_; }
    [[nodiscard]] bool Modified() const { return modified_; }

    // Checks the fields before anything is stored. A page that may not be
    // stored shows its message through the prompter and answers false.
    [[nodiscard]] virtual bool Validate() { return true; }
    // Writes the page's keys (after Validate passed); the page is unmodified
    // afterwards.
    void Store();

    // Makes Tab follow the layout (top to bottom, left to right within a
    // row) rather than the order the controls were made in.
    void OrderTabsByLayout();

    // Removes the mnemonic marks from a text ("Drag &&& Drop" -> "Drag & Drop").
    [[nodiscard]] static QString Plain(const QString& text);

signals:
    void modifiedChanged(bool modified);

protected:
    virtual void Load() = 0;
    virtual void StoreKeys() = 0;

    void SetModified(bool modified);

    // Controls whose changes mark the page modified (changes made while the
    // page reads its keys do not). `text` carries the mnemonic.
    QLineEdit* NewLineEdit(const QString& accessibleName);
    QLineEdit* NewNumberEdit(const QString& accessibleName);  // narrow, for integers
    QCheckBox* NewCheckBox(const QString& text);
    QRadioButton* NewRadio(const QString& text);
    QComboBox* NewCombo(const QString& accessibleName);
    QPushButton* NewButton(const QString& text);
    // A label for a field: its mnemonic moves the focus to `buddy`.
    QLabel* NewLabel(const QString& text, QWidget* buddy);
    QGroupBox* NewGroup(const QString& title);

    // Integer fields: "%d" to show, decimal text-to-integer to store (text
    // that is not a number stores 0).
    static void ShowInt(QLineEdit* edit, int value);
    [[nodiscard]] static int IntOf(const QLineEdit* edit);
    static void ShowText(QLineEdit* edit, const std::string& value);
    [[nodiscard]] static std::string TextOf(const QLineEdit* edit);
    // Yes/no switches stored as "YES" / "NO".
    static void StoreYesNo(const KeyDef& key, const QCheckBox* box);

private:
    QString title_;
    QString helpTopic_;
    bool loaded_ = false;
    bool loading_ = false;
    bool modified_ = false;
};

// The radio buttons that stand for the texts of one key.
class ChoiceGroup {
public:
    explicit ChoiceGroup(QWidget* owner);
    void Add(QRadioButton* button, std::string value);
    // Checks the button of `value`; an unknown text checks none.
    void Select(std::string_view value);
    // The text of the checked button, nothing when none is checked.
    [[nodiscard]] std::optional<std::string> Chosen() const;
    [[nodiscard]] QRadioButton* Button(std::string_view value) const;

private:
    QButtonGroup* group_;
    std::vector<std::string> values_;
};

}  // namespace zyfar
