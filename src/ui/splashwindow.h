#pragma once
// The small frameless start-up window: one 200 x 80 picture, PicStart, centred on the screen.
// A click on the picture closes it at once; the window deletes itself when closed.

#include <QWidget>

class QPainter;

namespace tarnivel {

inline constexpr int SplashPictureWidth = 200;
inline constexpr int SplashPictureHeight = 80;

// Draws the start-up picture into `painter`, filling 0,0 to 200,80.
void drawSplashPicture(QPainter &painter);

// The picture box: paints the start-up picture and reports a completed click on itself.
class SplashPicture : public QWidget
{
    Q_OBJECT

public:
    explicit SplashPicture(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};

class SplashWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SplashWindow(QWidget *parent = nullptr);

    SplashPicture *picture() const { return m_picture; }

    // Paints the window at once, so that it shows while the event loop is not yet running.
    void paintNow();

private:
    SplashPicture *m_picture;
};

} // namespace tarnivel
