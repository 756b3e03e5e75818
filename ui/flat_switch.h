#pragma once
// The flat switch: an on/off toggle (AutoCheck) or a push button, showing OnCaption with the on
// colours or OffCaption with the off colours, and able to blink. Window thread only.

#include <QColor>
#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace peldor {

class TFlatSwitch : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool On READ On WRITE SetOn)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool AutoCheck READ AutoCheck WRITE SetAutoCheck)
    Q_PROPERTY(bool Blink READ Blink WRITE SetBlink)
    Q_PROPERTY(QColor OnFillColor READ OnFillColor WRITE SetOnFillColor)
    Q_PROPERTY(QColor OnMarkColor READ OnMarkColor WRITE SetOnMarkColor)
    Q_PROPERTY(QColor OnPenColor READ OnPenColor WRITE SetOnPenColor)
    Q_PROPERTY(QColor OffFillColor READ OffFillColor WRITE SetOffFillColor)
    Q_PROPERTY(QColor OffMarkColor READ OffMarkColor WRITE SetOffMarkColor)
    Q_PROPERTY(QColor OffPenColor READ OffPenColor WRITE SetOffPenColor)
    Q_PROPERTY(QString OnCaption READ OnCaption WRITE SetOnCaption)
    Q_PROPERTY(QString OffCaption READ OffCaption WRITE SetOffCaption)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    /// Half period of the blinking.
    static constexpr int kBlinkMs = 400;

    explicit TFlatSwitch(QWidget* parent = nullptr);

    bool On() const { return on; }
    /// Never fires events.
    void SetOn(bool value);
    bool AutoCheck() const { return autoCheck; }
    void SetAutoCheck(bool value) { autoCheck = value; }
    bool Blink() const { return blink; }
    /// Starting to blink remembers On; stopping restores it.
    void SetBlink(bool value);

    QColor OnFillColor() const { return onFill; }
    void SetOnFillColor(const QColor& c) { Set(onFill, c); }
    QColor OnMarkColor() const { return onMark; }
    void SetOnMarkColor(const QColor& c) { Set(onMark, c); }
    QColor OnPenColor() const { return onPen; }
    void SetOnPenColor(const QColor& c) { Set(onPen, c); }
    QColor OffFillColor() const { return offFill; }
    void SetOffFillColor(const QColor& c) { Set(offFill, c); }
    QColor OffMarkColor() const { return offMark; }
    void SetOffMarkColor(const QColor& c) { Set(offMark, c); }
    QColor OffPenColor() const { return offPen; }
    void SetOffPenColor(const QColor& c) { Set(offPen, c); }
    QString OnCaption() const { return onCaption; }
    void SetOnCaption(const QString& text) { Set(onCaption, text); }
    QString OffCaption() const { return offCaption; }
    void SetOffCaption(const QString& text) { Set(offCaption, text); }

    QSize sizeHint() const override { return {16, 16}; }

signals:
    /// AutoCheck flipped On by user input.
    void OnChange();
    /// The user clicked (pressed an AutoCheck switch, released a push button).
    void OnClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    template <class T> void Set(T& field, const T& value) {
        field = value;
        update();
    }

    bool on = false;
    bool autoCheck = false;
    bool blink = false;
    bool onBeforeBlink = false;
    bool pressed = false;
    QColor onFill;
    QColor onMark;
    QColor onPen;
    QColor offFill;
    QColor offMark;
    QColor offPen;
    QString onCaption = QStringLiteral("M");
    QString offCaption = QStringLiteral("M");
    QTimer blinkTimer;
};

} // namespace peldor
