#include "ui/msg_box_form.h"

#include "i18n/common_strings.h"
#include "i18n/message_box.h"
#include "ui/flat_style.h"
#include "ui/flat_switch.h"
#include "ui/message_icons.h"
#include "ui/title_bar.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace peldor {
namespace {

constexpr int kTextTop = 34;
constexpr int kTextHeight = 100;
constexpr int kInputTextHeight = 62;
constexpr int kEditTop = 102;
constexpr int kEditHeight = 28;
constexpr int kIconLeft = 10;
constexpr int kIconTop = 38;
constexpr int kIconSize = 48;
constexpr int kTextLeftWithIcon = 68;
constexpr int kTextLeftWithoutIcon = 10;
constexpr int kTextRightMargin = 10;
constexpr int kTextFontPx = 14;
constexpr int kButtonFontPx = 13;

struct ButtonKind {
    int result;
    ResourceStringId caption;
};
constexpr ButtonKind kOk{kResultOk, kStrOk};
constexpr ButtonKind kCancel{kResultCancel, kStrCancel};
constexpr ButtonKind kYes{kResultYes, kStrYes};
constexpr ButtonKind kNo{kResultNo, kStrNo};

struct ButtonSet {
    int count;
    ButtonKind kinds[3];
};
constexpr ButtonSet kButtonSets[8] = {
    {1, {kOk}}, {1, {kCancel}},   {2, {kOk, kCancel}},  {1, {kYes}},
    {1, {kNo}}, {2, {kYes, kNo}}, {2, {kYes, kCancel}}, {3, {kYes, kNo, kCancel}},
};

class TIconBox final : public QWidget {
public:
    explicit TIconBox(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("pb")); }
    void SetKind(int value) {
        kind = value;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        DrawMessageIcon(painter, rect(), kind);
    }

private:
    int kind = 4;
};

} // namespace

TMsgBoxForm::TMsgBoxForm(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("MsgBoxForm"));
    setFixedSize(kClientWidth, kClientHeight);
    setModal(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, style::kWindowBack);
    pal.setColor(QPalette::WindowText, style::kText);
    pal.setColor(QPalette::Base, style::kListBack);
    pal.setColor(QPalette::Text, style::kText);
    pal.setColor(QPalette::Highlight, style::kAccent);
    pal.setColor(QPalette::HighlightedText, style::kTitleBack);
    setPalette(pal);

    title = new TTitleBar(this);
    title->setGeometry(1, 1, kClientWidth - 2, TTitleBar::kHeight - 1);

    iconBox = new TIconBox(this);
    iconBox->setGeometry(kIconLeft, kIconTop, kIconSize, kIconSize);

    label = new QLabel(this);
    label->setObjectName(QStringLiteral("lb"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    label->setFont(style::SansFont(kTextFontPx));

    for (int i = 0; i < 3; ++i) {
        auto* button = new TFlatSwitch(this);
        button->setObjectName(QStringLiteral("btn%1").arg(i + 1));
        button->setFont(style::SansFont(kButtonFontPx, true));
        button->SetOffFillColor(style::kControlFill);
        button->SetOnFillColor(style::kFrame);
        button->SetOnMarkColor(style::kText);
        button->SetOnPenColor(style::kFrame);
        button->hide();
        connect(button, &TFlatSwitch::OnClick, this, [this, i] { ButtonClicked(i + 1); });
        buttons[i] = button;
    }
    SetIconKind(kMsgNoIcon);
    SetButtons(kButtonsOk, 1);
}

TFlatSwitch* TMsgBoxForm::Button(int number) const {
    return number >= 1 && number <= 3 ? buttons[number - 1] : nullptr;
}

void TMsgBoxForm::SetIconKind(int kind) {
    iconKind = kind >= 0 && kind < kMessageIconCount ? kind : kMsgNoIcon;
    static_cast<TIconBox*>(iconBox)->SetKind(iconKind);
    iconBox->setVisible(iconKind != kMsgNoIcon);
    LayOutText();
}

void TMsgBoxForm::SetTitle(const QString& text) {
    title->SetCaption(text);
    setWindowTitle(text);
}

void TMsgBoxForm::SetText(const QString& text) {
    label->setText(text);
}

void TMsgBoxForm::SetButtons(int set, int defaultNumber) {
    const ButtonSet& chosen = kButtonSets[std::clamp(set, 0, 7)];
    buttonCount = chosen.count;
    defaultButton = defaultNumber;
    const int w = kClientWidth;
    int width = kButtonMaxWidth;
    int left = (w - width) / 2;
    if (buttonCount == 2) {
        width = std::min(w / 2 - 45, kButtonMaxWidth);
        left = (w - 2 * width - kButtonGap) / 2;
    } else if (buttonCount == 3) {
        width = std::min(w / 3, kButtonMaxWidth);
        left = (w - 3 * width - 2 * kButtonGap) / 2;
    }
    for (int i = 0; i < 3; ++i) {
        TFlatSwitch* button = buttons[i];
        if (i >= buttonCount) {
            button->hide();
            buttonResults[i] = kResultNone;
            continue;
        }
        const QString caption = QString::fromStdString(LoadResString(chosen.kinds[i].caption));
        button->SetOnCaption(caption);
        button->SetOffCaption(caption);
        buttonResults[i] = chosen.kinds[i].result;
        button->setGeometry(left + i * (width + kButtonGap), kButtonTop, width, kButtonHeight);
        button->SetOffPenColor(i + 1 == defaultButton ? style::kAccent : style::kFrame);
        button->show();
    }
}

void TMsgBoxForm::SetInputValue(const QString& value) {
    if (edit == nullptr) {
        edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("ed"));
        edit->setFont(style::SansFont(kTextFontPx));
        edit->setFrame(false);
        edit->setStyleSheet(QStringLiteral("QLineEdit { background: #273265; color: #E8EBF4; "
                                           "border: 1px solid #4A558C; padding: 0 4px; "
                                           "selection-background-color: #FFB02E; "
                                           "selection-color: #121524; }"));
        edit->show();
    }
    edit->setText(value);
    LayOutText();
}

QString TMsgBoxForm::InputValue() const {
    return edit != nullptr ? edit->text() : QString();
}

void TMsgBoxForm::LayOutText() {
    const bool icon = iconKind != kMsgNoIcon;
    // The text keeps the same right margin with and without an icon.
    const int left = icon ? kTextLeftWithIcon : kTextLeftWithoutIcon;
    const int width = kClientWidth - left - kTextRightMargin;
    label->setGeometry(left, kTextTop, width, edit != nullptr ? kInputTextHeight : kTextHeight);
    if (edit != nullptr) {
        edit->setGeometry(left, kEditTop, width, kEditHeight);
    }
}

void TMsgBoxForm::ButtonClicked(int number) {
    if (number < 1 || number > buttonCount) {
        return;
    }
    done(buttonResults[number - 1]);
}

void TMsgBoxForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        ButtonClicked(defaultButton);
        return;
    }
    // Escape rejects, which is result 0.
    QDialog::keyPressEvent(event);
}

void TMsgBoxForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), style::kWindowBack);
    painter.setPen(style::kFrame);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TMsgBoxForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QRect area;
    if (QWidget* owner = parentWidget(); owner != nullptr && owner->isVisible()) {
        area = owner->window()->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) {
        move(area.center() - rect().center());
    }
    activateWindow();
    if (edit != nullptr) {
        edit->selectAll();
        edit->setFocus();
    } else {
        setFocus();
    }
}

int TMsgBoxForm::ShowMessageBox(QWidget* parent, const QString& title, const QString& text,
                                int kind, int buttons, int defaultButton) {
    TMsgBoxForm form(parent);
    form.SetIconKind(kind);
    form.SetText(text);
    form.SetTitle(title);
    form.SetButtons(buttons, defaultButton);
    return form.exec();
}

int TMsgBoxForm::ShowInputBox(QWidget* parent, const QString& title, const QString& text, int kind,
                              int buttons, int defaultButton, QString& value) {
    TMsgBoxForm form(parent);
    form.SetIconKind(kind);
    form.SetText(text);
    form.SetTitle(title);
    form.SetButtons(buttons, defaultButton);
    form.SetInputValue(value);
    const int answer = form.exec();
    value = form.InputValue();
    return answer;
}

} // namespace peldor
