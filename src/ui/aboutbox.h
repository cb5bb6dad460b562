#pragma once
// frmVer "ﾊﾞｰｼﾞｮﾝ情報", the About box, laid out in pixels: the icon, the name with the version,
// the author, "Title" (the start-up picture again) and "OK". Holding a mouse button on the
// icon and typing the hidden word sends the icon out of the box and lifts the hidden button
// "ここに、ゐるよ" into view; that button shows one of thirteen messages and puts everything back.

#include "ui/hiddenword.h"

#include <QDialog>
#include <QLabel>
#include <functional>

class QPushButton;
class QRandomGenerator;

namespace tarnivel {

class SlideAnimation;
class SoundPlayer;

// picIcon: reports holding, letting go and typed characters; takes the focus when clicked.
class AboutIcon : public QLabel
{
    Q_OBJECT

public:
    explicit AboutIcon(QWidget *parent = nullptr);

signals:
    void held();
    void released();
    void typed(QChar character);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

class AboutBox : public QDialog
{
    Q_OBJECT

public:
    // A draw from 0 to 199 for the hidden button's message.
    using Draw = std::function<int()>;

    // connectSoundPath: the shipped "connect.wav", played with the rare message whatever
    // the connection-sound switch says.
    AboutBox(SoundPlayer &sound, QString connectSoundPath, QWidget *parent = nullptr);
    ~AboutBox() override;

    void setDraw(Draw draw) { m_draw = std::move(draw); }
    // How fast the icon and the hidden button move (pixels per frame).
    void setAnimationSpeed(int pixelsPerFrame);

    bool animating() const;
    const HiddenWord &word() const { return m_word; }
    AboutIcon *icon() const { return m_icon; }
    QLabel *titleLabel() const { return m_titleLabel; }
    QPushButton *titleButton() const { return m_titleButton; }
    QPushButton *hiddenButton() const { return m_hiddenButton; }
    QPushButton *okButton() const { return m_okButton; }

private:
    void letterTyped(QChar letter);
    void hideIcon();
    void showMessage();
    void showStartPicture();

    SoundPlayer &m_sound;
    QString m_connectSoundPath;
    Draw m_draw;
    HiddenWord m_word;

    AboutIcon *m_icon;
    QLabel *m_titleLabel;
    QLabel *m_authorLabel;
    QPushButton *m_titleButton;
    QPushButton *m_okButton;
    QPushButton *m_hiddenButton;
    SlideAnimation *m_animation;
};

// The draw of the real program: evenly from 0 to 199, from the global generator unless
// given another.
int drawMessageNumber(QRandomGenerator &random);
int drawMessageNumber();

} // namespace tarnivel
