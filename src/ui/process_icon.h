#pragma once
// The picture of an application group inside ordinary views: the
// application's icon when the group has a desktop entry, else a square
// letter tile whose letter scales with the picture.

#include <QString>
#include <QWidget>

#include <optional>

class QPainter;

class ProcessIcon : public QWidget {
    Q_OBJECT

public:
    ProcessIcon(const QString& name, const std::optional<QString>& bundlePath, double size,
                QWidget* parent = nullptr);

    QString name() const { return name_; }
    void setName(const QString& name);
    const std::optional<QString>& bundlePath() const { return bundlePath_; }
    void setBundlePath(const std::optional<QString>& bundlePath);
    double size() const { return size_; }
    void setSize(double size);

    // The tile's geometry for an edge length: corner radius 0.24 × size and
    // a letter of 0.52 × size pixels.
    static double cornerRadius(double size) { return 0.24 * size; }
    static double letterSize(double size) { return 0.52 * size; }

    // Paints the picture centred in `box` at `size`; for views that draw
    // many rows themselves. `letter` is Icons::letter() of the name.
    static void paint(QPainter& painter, const QRectF& box, double size, const QString& letter,
                      const std::optional<QString>& bundlePath);

    // The letter tile's ground: filled in the raised colour, its 1 px border
    // stroked half a pixel in so the whole line lies inside `tile`.
    static void paintTileGround(QPainter& painter, const QRectF& tile, double radius);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
    QString letter_;
    std::optional<QString> bundlePath_;
    double size_;
};
