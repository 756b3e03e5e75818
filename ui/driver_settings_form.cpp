#include "ui/driver_settings_form.h"

#include "i18n/message_box.h"
#include "ui/flat_style.h"
#include "ui/language_switch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace peldor {
namespace {

constexpr int kFontPx = 13;
constexpr int kFieldWidth = 220;
constexpr int kButtonWidth = 80;

QString SettingsStyleSheet() {
    using namespace style;
    return QString(R"(
TDriverSettingsForm { background: %1; }
QLabel { color: %2; font-size: %3px; }
QLabel#Heading { font-weight: bold; }
QLineEdit, QSpinBox, QComboBox, QCheckBox { font-size: %3px; color: %2; }
QPushButton { background: %4; color: %2; border: 1px solid %5; border-radius: 2px;
              font-size: %3px; font-weight: bold; padding: 4px; }
QPushButton:focus { border-color: %6; }
)")
        .arg(kWindowBack.name(), kText.name())
        .arg(kFontPx)
        .arg(kControlFill.name(), kFrame.name(), kAccent.name());
}

} // namespace

TDriverSettingsForm::TDriverSettingsForm(IAudioSettingsCore& theAudio, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), audio(theAudio) {
    setObjectName("DriverSettingsForm");
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(SettingsStyleSheet());
    auto* layout = new QVBoxLayout(this);
    heading = new QLabel(this);
    heading->setObjectName("Heading");
    layout->addWidget(heading);
    form = new QFormLayout;
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    btnOk->setFixedWidth(kButtonWidth);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("btnCancel");
    cancel->setFixedWidth(kButtonWidth);
    buttons->addWidget(btnOk);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, &TDriverSettingsForm::btnOkClick);
    connect(cancel, &QPushButton::clicked, this, &QWidget::hide);
    TranslateWindow(this);
}

void TDriverSettingsForm::Load(const TDriverSettingsPage& page) {
    while (form->rowCount() > 0) {
        form->removeRow(0);
    }
    fields.clear();
    settings = page.Settings;
    const QString driver = QString::fromStdString(page.Driver);
    setWindowTitle(driver + " settings");
    heading->setText(QString("Settings of the driver \"%1\"").arg(driver));
    for (const TDriverSetting& setting : settings) {
        QWidget* field = nullptr;
        const QString value = QString::fromStdString(setting.Value);
        switch (setting.Kind) {
        case TDriverSetting::TKind::Text:
            field = new QLineEdit(value, this);
            break;
        case TDriverSetting::TKind::Number: {
            auto* number = new QSpinBox(this);
            number->setRange(setting.Min, setting.Max);
            number->setValue(value.toInt());
            field = number;
            break;
        }
        case TDriverSetting::TKind::Switch: {
            auto* check = new QCheckBox(this);
            check->setChecked(value == "1");
            field = check;
            break;
        }
        case TDriverSetting::TKind::Choice: {
            auto* choice = new QComboBox(this);
            for (const std::string& caption : setting.Choices) {
                choice->addItem(QString::fromStdString(caption));
            }
            choice->setCurrentIndex(value.toInt());
            field = choice;
            break;
        }
        }
        field->setObjectName(QString::fromStdString(setting.Key));
        field->setMinimumWidth(kFieldWidth);
        form->addRow(QString::fromStdString(setting.Label), field);
        fields.push_back(field);
    }
    adjustSize();
}

void TDriverSettingsForm::btnOkClick() {
    std::vector<std::string> values;
    for (QWidget* field : fields) {
        QString value;
        if (auto* text = qobject_cast<QLineEdit*>(field)) {
            value = text->text();
        } else if (auto* number = qobject_cast<QSpinBox*>(field)) {
            value = QString::number(number->value());
        } else if (auto* check = qobject_cast<QCheckBox*>(field)) {
            value = check->isChecked() ? "1" : "0";
        } else if (auto* choice = qobject_cast<QComboBox*>(field)) {
            value = QString::number(choice->currentIndex());
        }
        values.push_back(value.toStdString());
    }
    std::string error;
    if (!audio.ApplyDriverSettings(values, error)) {
        ShowMessageBox(windowTitle().toStdString(), error, kMsgProblem, kButtonsOk, 1);
        return;
    }
    hide();
    if (OnApplied) {
        OnApplied();
    }
}

} // namespace peldor
