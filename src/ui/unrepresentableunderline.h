#pragma once
// Underlines, in a text box, the characters code page 932 cannot hold (emoji, some kanji
// variants): they would arrive as "?". QLineEdit has no per-character formats, so a
// transparent overlay paints the underlines; the box's tooltip says what they mean.

#include "text/cp932coverage.h"

#include <QWidget>

class QLineEdit;

namespace tarnivel {

class UnrepresentableUnderline : public QWidget
{
    Q_OBJECT
public:
    // Watches box from now on; owned by it.
    explicit UnrepresentableUnderline(QLineEdit &box);

    static QString explanation(const QString &characters);

    // The characters underlined now.
    const QList<cp932::CharacterRun> &marked() const { return m_marked; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void recheck();

    QLineEdit &m_box;
    QList<cp932::CharacterRun> m_marked;
};

} // namespace tarnivel
