#include "config/ConfigPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "settings/IniFile.h"
#include "settings/Keys.h"

namespace zyfar {

ConfigPage::ConfigPage(const QString& title, const QString& helpTopic, QWidget* parent)
    : QWidget(parent), title_(title), helpTopic_(helpTopic) {
    setAccessibleName(Plain(title));
}

QString ConfigPage::Plain(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

namespace {

void CollectFocusable(QLayout* layout, QList<QWidget*>& out) {
    if (layout == nullptr) return;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (QWidget* w = item->widget()) {
            if (w->layout() != nullptr) CollectFocusable(w->layout(), out);
            else if (w->focusPolicy() & Qt::TabFocus) out << w;
        } else {
            CollectFocusable(item->layout(), out);
        }
    }
}

}  // namespace

void ConfigPage::OrderTabsByLayout() {
    QList<QWidget*> chain;
    CollectFocusable(layout(), chain);
    for (qsizetype i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
}

void ConfigPage::EnsureLoaded() {
    if (loaded_) return;
    loaded_ = true;
    loading_ = true;
    Load();
    loading_ = false;
    SetModified(false);
}

void ConfigPage::Store() {
    StoreKeys();
    SetModified(false);
}

void ConfigPage::SetModified(bool modified) {
    if (loading_ || modified == modified_) return;
    modified_ = modified;
    emit modifiedChanged(modified_);
}

QLineEdit* ConfigPage::NewLineEdit(const QString& accessibleName) {
    auto* edit = new QLineEdit(this);
    edit->setAccessibleName(accessibleName);
    connect(edit, &QLineEdit::textChanged, this, [this] { SetModified(true); });
    return edit;
}

QLineEdit* ConfigPage::NewNumberEdit(const QString& accessibleName) {
    QLineEdit* edit = NewLineEdit(accessibleName);
    edit->setAlignment(Qt::AlignRight);
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 16);
    return edit;
}

QCheckBox* ConfigPage::NewCheckBox(const QString& text) {
    auto* box = new QCheckBox(text, this);
    box->setAccessibleName(Plain(text));
    connect(box, &QCheckBox::toggled, this, [this] { SetModified(true); });
    return box;
}

QRadioButton* ConfigPage::NewRadio(const QString& text) {
    auto* button = new QRadioButton(text, this);
    button->setAccessibleName(Plain(text));
    connect(button, &QRadioButton::toggled, this, [this] { SetModified(true); });
    return button;
}

QComboBox* ConfigPage::NewCombo(const QString& accessibleName) {
    auto* combo = new QComboBox(this);
    combo->setAccessibleName(accessibleName);
    connect(combo, &QComboBox::currentIndexChanged, this, [this] { SetModified(true); });
    return combo;
}

QPushButton* ConfigPage::NewButton(const QString& text) {
    auto* button = new QPushButton(text, this);
    button->setAccessibleName(Plain(text));
    button->setAutoDefault(false);
    return button;
}

QLabel* ConfigPage::NewLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, this);
    label->setBuddy(buddy);
    return label;
}

QGroupBox* ConfigPage::NewGroup(const QString& title) {
    auto* group = new QGroupBox(title, this);
    group->setAccessibleName(Plain(title));
    return group;
}

void ConfigPage::ShowInt(QLineEdit* edit, int value) { edit->setText(QString::number(value)); }

int ConfigPage::IntOf(const QLineEdit* edit) { return ParseLeadingInt(edit->text().toStdString()); }

void ConfigPage::ShowText(QLineEdit* edit, const std::string& value) { edit->setText(QString::fromStdString(value)); }

std::string ConfigPage::TextOf(const QLineEdit* edit) { return edit->text().toStdString(); }

void ConfigPage::StoreYesNo(const KeyDef& key, const QCheckBox* box) { Write(key, box->isChecked() ? "YES" : "NO"); }

// ---- ChoiceGroup ----

ChoiceGroup::ChoiceGroup(QWidget* owner) : group_(new QButtonGroup(owner)) {}

void ChoiceGroup::Add(QRadioButton* button, std::string value) {
    group_->addButton(button, static_cast<int>(values_.size()));
    values_.push_back(std::move(value));
}

void ChoiceGroup::Select(std::string_view value) {
    for (std::size_t i = 0; i < values_.size(); ++i) {
        if (values_[i] == value) {
            group_->button(static_cast<int>(i))->setChecked(true);
            return;
        }
    }
    // An exclusive group cannot clear its checked button.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons()) b->setChecked(false);
    group_->setExclusive(true);
}

std::optional<std::string> ChoiceGroup::Chosen() const {
    const int id = group_->checkedId();
    if (id < 0) return std::nullopt;
    return values_[static_cast<std::size_t>(id)];
}

QRadioButton* ChoiceGroup::Button(std::string_view value) const {
    for (std::size_t i = 0; i < values_.size(); ++i)
        if (values_[i] == value) return static_cast<QRadioButton*>(group_->button(static_cast<int>(i)));
    return nullptr;
}

}  // namespace zyfar
