#pragma once
// The title bar of borderless windows: the caption on a dark strip; dragging it moves the
// window. Window thread only.

#include <QString>
#include <QWidget>

namespace peldor {

class TTitleBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    static constexpr int kHeight = 24;

    explicit TTitleBar(QWidget* parent = nullptr);

    QString Caption() const { return caption; }
    void SetCaption(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString caption;
    bool dragging = false;
    QPoint grab;
};

} // namespace peldor
