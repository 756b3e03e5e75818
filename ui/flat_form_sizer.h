#pragma once
// The resize grip of borderless windows: it sits in the bottom-right corner of its owner and
// resizes the owner's window by the pointer's movement, within the window's minimum and maximum
// size. Window thread only.

#include <QColor>
#include <QWidget>

namespace peldor {

class TFlatFormSizer : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Size READ Size WRITE SetSize)
    Q_PROPERTY(QColor HiColor READ HiColor WRITE SetHiColor)
    Q_PROPERTY(QColor LoColor READ LoColor WRITE SetLoColor)

public:
    /// The owner is the widget whose bottom-right corner the grip keeps to; its window is
    /// what is resized.
    explicit TFlatFormSizer(QWidget* owner);

    int Size() const { return gripSize; }
    void SetSize(int value);
    QColor HiColor() const { return hiColor; }
    void SetHiColor(const QColor& c);
    QColor LoColor() const { return loColor; }
    void SetLoColor(const QColor& c);

signals:
    /// The user resized the window.
    void OnChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void KeepInCorner();

    int gripSize = 20;
    QColor hiColor;
    QColor loColor;
    bool dragging = false;
    QPoint pressGlobal;
    QSize pressSize;
};

} // namespace peldor
