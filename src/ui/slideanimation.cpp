#include "ui/slideanimation.h"

#include <algorithm>

namespace tarnivel {

namespace {

void place(QWidget &widget, Slide::Axis axis, int value)
{
    if (axis == Slide::Axis::Left)
        widget.move(value, widget.y());
    else
        widget.move(widget.x(), value);
}

} // namespace

SlideAnimation::SlideAnimation(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(FrameMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, &SlideAnimation::step);
}

void SlideAnimation::setPixelsPerFrame(int pixels)
{
    m_pixelsPerFrame = std::max(1, pixels);
}

void SlideAnimation::start(QList<Slide> slides, std::function<void()> finished)
{
    m_slides = std::move(slides);
    m_finished = std::move(finished);
    m_placed = false;
    m_timer.start();
    step();
}

void SlideAnimation::step()
{
    while (!m_slides.isEmpty()) {
        Slide &slide = m_slides.front();
        if (!slide.widget) {
            m_slides.removeFirst();
            m_placed = false;
            continue;
        }
        if (!m_placed) {
            m_position = slide.from;
            m_placed = true;
        } else if (m_position == slide.to) {
            m_slides.removeFirst();
            m_placed = false;
            continue;
        } else {
            const int distance = std::min(m_pixelsPerFrame, std::abs(slide.to - m_position));
            m_position += slide.to > m_position ? distance : -distance;
        }
        place(*slide.widget, slide.axis, m_position);
        return;
    }
    m_timer.stop();
    // The callback may start another run: take it out first.
    const std::function<void()> finished = std::exchange(m_finished, {});
    if (finished)
        finished();
}

} // namespace tarnivel
