// The least a repainted square can cost: a bare window that repaints one
// square of a picture at a steady rate, with nothing else to do. Run under
// an X server by repaint_floor.sh; what it costs is what any animation at
// that rate costs on the machine before it draws anything of its own.
//
//   repaint-floor [frames per second] [side in pixels]

#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

class Square : public QWidget {
public:
    explicit Square(int side) : side_(side), picture_(side, side, QImage::Format_RGB32)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        resize(400, 330);
        picture_.fill(QColor(0x10, 0x14, 0x1c));
    }

    void step()
    {
        // One pixel changes, as a growing ring moves one.
        picture_.setPixel(frame_++ % side_, side_ / 2, qRgb(0xff, 0x80, 0x40));
        update(area());
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(this);
        if (!area().contains(event->rect()))
            p.fillRect(rect(), QColor(0x10, 0x14, 0x1c));
        p.drawImage(area().topLeft(), picture_);
    }

private:
    QRect area() const { return QRect(115, 80, side_, side_); }

    int side_;
    QImage picture_;
    int frame_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const double rate = argc > 1 ? std::clamp(std::atof(argv[1]), 0.1, 240.0) : 16.6;
    const int side = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 300) : 170;
    Square square(side);
    square.show();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &square, &Square::step);
    timer.start(int(std::lround(1000 / rate)));
    return app.exec();
}
