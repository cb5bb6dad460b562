#pragma once
// What composing and sending needs from the main window.

#include <QString>

namespace tarnivel {

class ComposerView
{
public:
    virtual ~ComposerView() = default;
    virtual QString inputText() const = 0;
    virtual void clearInput() = 0;
    virtual void focusInput() = 0;
    // "個人へ送信" is selected.
    virtual bool sendToSelectedChosen() const = 0;
    // Select one option and carry out its click (show the matching list, focus the input).
    virtual void chooseSendToSelected(bool selected) = 0;
    virtual int memberRowCount() const = 0;
    virtual bool isMemberTicked(int row) const = 0;
    virtual void setShownAddress(const QString &address) = 0;
};

} // namespace tarnivel
