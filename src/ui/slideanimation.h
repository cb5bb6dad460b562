#pragma once
// Moves widgets along straight lines, one line after another, at a fixed frame rate. Each
// line starts by putting its widget at its first place. A widget that is gone by its turn is
// skipped; deleting the animation (or its parent) simply stops it.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace tarnivel {

struct Slide
{
    enum class Axis { Left, Top };
    QPointer<QWidget> widget;
    Axis axis;
    int from;
    int to;
};

class SlideAnimation : public QObject
{
    Q_OBJECT

public:
    static constexpr int FrameMilliseconds = 16;

    explicit SlideAnimation(QObject *parent = nullptr);

    // Pixels moved per frame (at least 1).
    void setPixelsPerFrame(int pixels);

    // Runs `slides` in order, then `finished`. A run still under way is dropped, its
    // `finished` included.
    void start(QList<Slide> slides, std::function<void()> finished = {});
    bool running() const { return m_timer.isActive(); }

private:
    void step();

    QTimer m_timer;
    QList<Slide> m_slides;
    std::function<void()> m_finished;
    int m_position = 0;    // where the current slide's widget is now
    bool m_placed = false; // the current slide's widget stands at its first place
    int m_pixelsPerFrame = 5;
};

} // namespace tarnivel
