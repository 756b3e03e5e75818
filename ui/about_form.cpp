#include "ui/about_form.h"

#include "ui/flat_style.h"
#include "ui/flat_switch.h"
#include "ui/jpeg_image.h"
#include "ui/title_bar.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>

// The resources of a static library must be registered by hand; outside any namespace.
static void InitPeldorPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace peldor {
namespace {

constexpr int kNameTop = 212;
constexpr int kNameHeight = 34;
constexpr int kVersionHeight = 20;
constexpr int kMemoTop = 274;
constexpr int kMemoHeight = 170;
constexpr int kMargin = 12;
constexpr int kOkTop = 456;
constexpr int kOkWidth = 80;
constexpr int kOkHeight = 21;
constexpr int kNameFontPx = 28;
constexpr int kVersionFontPx = 13;
constexpr int kMemoFontPx = 13;

const char* const kAboutText =
    "PELDOR is a live-performance host for software instruments.\n\n"
    "A show is a list of songs, each a list of parts. Each part routes your keyboards to up to "
    "16 VST 2 instruments and 4 effects, recalls their programs and sounds, and switches the "
    "whole mix at once.\n\n"
    "Built with Qt, libjpeg-turbo, JACK, RtMidi and SimpleIni.";

} // namespace

QString ProgramVersion() {
    return QStringLiteral(PELDOR_VERSION_TEXT);
}

QByteArray AboutPictureJpeg() {
    InitPeldorPictures();
    QFile file(QStringLiteral(":/peldor/about.jpg"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

QImage LoadAboutPicture() {
    return DecodeJpeg(AboutPictureJpeg());
}

TAboutForm::TAboutForm(QWidget* parent, const QByteArray& jpeg)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture(DecodeJpeg(jpeg)) {
    setObjectName(QStringLiteral("AboutForm"));
    setFixedSize(kWidth, kHeight);
    setWindowTitle(QStringLiteral("About PELDOR"));

    title = new TTitleBar(this);
    title->setGeometry(1, 1, kWidth - 2, TTitleBar::kHeight - 1);
    title->SetCaption(QStringLiteral("About PELDOR"));

    memo = new QPlainTextEdit(this);
    memo->setObjectName(QStringLiteral("Memo"));
    memo->setReadOnly(true);
    memo->setPlainText(QString::fromUtf8(kAboutText));
    memo->setFont(style::SansFont(kMemoFontPx));
    memo->setGeometry(kMargin, kMemoTop, kWidth - 2 * kMargin, kMemoHeight);
    memo->setStyleSheet(QStringLiteral(
        "QPlainTextEdit { background: #273265; color: #E8EBF4; border: 1px solid #4A558C; }"
        "QScrollBar:vertical { background: #1D2136; width: 10px; margin: 0; }"
        "QScrollBar::handle:vertical { background: #4A558C; min-height: 20px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));

    okSwitch = new TFlatSwitch(this);
    okSwitch->setObjectName(QStringLiteral("btnOK"));
    okSwitch->SetOnCaption(QStringLiteral("OK"));
    okSwitch->SetOffCaption(QStringLiteral("OK"));
    okSwitch->setFont(style::SansFont(kVersionFontPx, true));
    okSwitch->SetOffPenColor(style::kAccent);
    okSwitch->SetOnFillColor(style::kFrame);
    okSwitch->SetOnMarkColor(style::kText);
    okSwitch->setGeometry((kWidth - kOkWidth) / 2, kOkTop, kOkWidth, kOkHeight);
    connect(okSwitch, &TFlatSwitch::OnClick, this, &QDialog::accept);
}

QRect TAboutForm::PictureArea() const {
    return {1, TTitleBar::kHeight, kWidth - 2, kPictureHeight};
}

void TAboutForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), style::kWindowBack);
    const QRect area = PictureArea();
    painter.fillRect(area, style::kTitleBack);
    if (!picture.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(area, picture);
    }
    painter.setPen(style::kText);
    painter.setFont(style::SansFont(kNameFontPx, true));
    painter.drawText(QRect(0, kNameTop, kWidth, kNameHeight), Qt::AlignCenter,
                     QStringLiteral("PELDOR"));
    painter.setPen(style::kDimText);
    painter.setFont(style::SansFont(kVersionFontPx));
    painter.drawText(QRect(0, kNameTop + kNameHeight, kWidth, kVersionHeight), Qt::AlignCenter,
                     QStringLiteral("Version ") + ProgramVersion());
    painter.setPen(style::kFrame);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QRect around;
    if (QWidget* owner = parentWidget(); owner != nullptr && owner->isVisible()) {
        around = owner->window()->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        around = screen->availableGeometry();
    }
    if (around.isValid()) {
        move(around.center() - rect().center());
    }
}

void TAboutForm::ShowAbout(QWidget* parent) {
    TAboutForm form(parent);
    form.exec();
}

} // namespace peldor
